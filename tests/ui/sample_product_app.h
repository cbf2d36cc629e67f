// The sample product's identity, compiled in, for posing its windows without a stamped program.
#pragma once

#include "runner/unpack_app.h"

class ProductApp final : public UnpackApp {
public:
    const char* Name() const override { return "Quolta"; }
    const char* Description() const override { return "インターネット電話 Quolta"; }
    const char* Version() const override { return "Ver 1.71"; }
    const char* Caption() const override { return "SelfUnpack - Quolta"; }
    const char* PackageResourceName() const override { return "QUOLTA"; }
};
