// The generic program's application object: its identity is whatever a stamping tool put into
// its resources, read once at start-up. Those bytes come from outside the build, so they are
// held to the program's text buffers before any of them is used; a program with no identity,
// or one that does not hold, answers the defaults of an application without a product.
#pragma once

#include <windows.h>

#include "resources/identity_rules.h"
#include "runner/unpack_app.h"

class StampedApp final : public UnpackApp {
public:
    // Reads the identity of `module` (the program itself when null).
    explicit StampedApp(HMODULE module = nullptr);

    const char* Name() const override { return stamped_ ? name_ : ProductInfo::Name(); }
    const char* Description() const override {
        return stamped_ ? description_ : ProductInfo::Description();
    }
    const char* Version() const override { return stamped_ ? version_ : ProductInfo::Version(); }
    const char* Caption() const override { return stamped_ ? caption_ : ProductInfo::Caption(); }
    const char* PackageResourceName() const override {
        return stamped_ ? resource_name_ : ProductInfo::PackageResourceName();
    }

    bool stamped() const { return stamped_; }

private:
    bool stamped_ = false;
    char name_[kMaxNameAndVersion + 1] = {};
    char description_[kMaxDescription + 1] = {};
    char version_[kMaxNameAndVersion + 1] = {};
    char caption_[kMaxCaptionAndVersion + 1] = {};
    char resource_name_[kMaxResourceName + 1] = {};
};
