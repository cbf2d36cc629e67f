#include "package/package_header.h"

#include <cstring>

#include "package/little_endian.h"

PackageHeader ReadPackageHeader(const uint8_t* header) {
    PackageHeader fields;
    fields.magic = std::memcmp(header + MAGIC_OFFSET, PACKAGE_MAGIC, sizeof PACKAGE_MAGIC) == 0;
    fields.plain = std::memcmp(header + MARKER_OFFSET, PLAIN_MARKER, sizeof PLAIN_MARKER) == 0;
    fields.signature =
        std::memcmp(header + SIGNATURE_OFFSET, PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE) == 0;
    fields.declared = LoadI32(header + LENGTH_OFFSET);
    return fields;
}
