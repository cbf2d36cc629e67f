// The generic program's product: the identity stamped into its resources.
#pragma once

#include "runner/stamped_app.h"

using ProductApp = StampedApp;
