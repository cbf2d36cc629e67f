// The sample product's identity, compiled in, for posing its windows without a stamped program:
// over the bare identity for the confirmation alone, over the application for the whole run.
#pragma once

#include "resources/product_info.h"
#include "runner/unpack_app.h"

template <typename Base>
class SampleProduct final : public Base {
public:
    const char* Name() const override { return "Quolta"; }
    const char* Description() const override { return "インターネット電話 Quolta"; }
    const char* Version() const override { return "Ver 1.71"; }
    const char* Caption() const override { return "SelfUnpack - Quolta"; }
    const char* PackageResourceName() const override { return "QUOLTA"; }
};

using ProductApp = SampleProduct<UnpackApp>;
