// The box that "/?" shows: the switches an administrator can use.
#pragma once

#include "resources/product_info.h"

void ShowUsage(const ProductInfo& product);
