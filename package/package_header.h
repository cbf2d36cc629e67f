// The fixed header at a package's start: magic, marker, declared length and signature.
#pragma once

#include <cstdint>

#include "package/package_format.h"

// The fixed header's fields, as every reader of a package checks them.
struct PackageHeader {
    bool magic = false;      // the 16-byte magic is there
    bool plain = false;      // names and contents are not coded
    bool signature = false;  // the signature is there as written (only meaningful when plain)
    int32_t declared = 0;    // L

    int64_t length() const { return int64_t{declared} + LENGTH_BASE; }
    // What a reader without a coder accepts.
    bool plain_and_whole() const { return magic && plain && signature && declared > 0; }
};

// `header` holds HEADER_SIZE bytes.
PackageHeader ReadPackageHeader(const uint8_t* header);
