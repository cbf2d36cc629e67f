#include "codec/frame_header.h"

namespace {

constexpr uint32_t kFrameMagic = 0xFD2FB528u;

}  // namespace

bool ReadFrameHeader(const uint8_t* in, size_t length, FrameHeader& header) {
    if (in == nullptr || length < 5 || FrameLittleEndian(in, 4) != kFrameMagic) return false;
    const uint8_t descriptor = in[4];
    const unsigned size_flag = descriptor >> 6;
    const bool single_segment = (descriptor & 0x20) != 0;
    const bool reserved = (descriptor & 0x08) != 0;
    const bool checksum = (descriptor & 0x04) != 0;
    const unsigned dictionary = descriptor & 0x03;
    if (reserved || checksum || dictionary != 0) return false;
    if (size_flag == 0 && !single_segment) return false;  // no content size

    static constexpr size_t kSizeBytes[4] = {1, 2, 4, 8};
    size_t at = 5;
    uint64_t window = 0;
    if (!single_segment) {
        if (length <= at) return false;
        const uint8_t window_byte = in[at++];
        const uint64_t base = uint64_t{1} << (10 + (window_byte >> 3));
        window = base + base / 8 * (window_byte & 7);
    }
    const size_t size_bytes = kSizeBytes[size_flag];
    if (length - at < size_bytes) return false;
    uint64_t content = FrameLittleEndian(in + at, size_bytes);
    if (size_bytes == 2) content += 256;
    at += size_bytes;
    header.size = at;
    header.content = content;
    header.window = single_segment ? content : window;
    return true;
}
