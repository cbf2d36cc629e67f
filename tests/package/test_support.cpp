#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "package/name_encoding.h"

PackageBuilder::PackageBuilder(int32_t block_size)
    : block_size_(block_size), bytes_(static_cast<size_t>(HEADER_SIZE) + 4, 0) {
    std::memcpy(bytes_.data(), PACKAGE_MAGIC, sizeof PACKAGE_MAGIC);
    std::memcpy(bytes_.data() + 16, PLAIN_MARKER, sizeof PLAIN_MARKER);
    std::memcpy(bytes_.data() + 24, PACKAGE_SIGNATURE, sizeof PACKAGE_SIGNATURE);
    PutI32(bytes_, 32, block_size);
}

PackageBuilder& PackageBuilder::I32(int32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes_.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    }
    return *this;
}

PackageBuilder& PackageBuilder::Raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

PackageBuilder& PackageBuilder::Entry(const std::string& name, int32_t size, uint32_t attributes,
                                      EntryTimes times) {
    bytes_.push_back(static_cast<uint8_t>(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    I32(size);
    I32(static_cast<int32_t>(attributes));
    for (FileTime t : {times.creation, times.last_access, times.last_write}) {
        I32(static_cast<int32_t>(static_cast<uint32_t>(t)));
        I32(static_cast<int32_t>(static_cast<uint32_t>(t >> 32)));
    }
    return *this;
}

PackageBuilder& PackageBuilder::Chunk(const std::vector<uint8_t>& body) {
    I32(static_cast<int32_t>(body.size()));
    return Raw(body);
}

PackageBuilder& PackageBuilder::StoredChunk(const std::string& data) {
    return Chunk(StoredBody(data));
}

PackageBuilder& PackageBuilder::Terminator(int32_t value) {
    return I32(value);
}

PackageBuilder& PackageBuilder::StoredFile(const std::string& name, const std::string& data,
                                           uint32_t attributes, EntryTimes times) {
    Entry(name, static_cast<int32_t>(data.size()), attributes, times);
    const auto block = static_cast<size_t>(block_size_);
    for (size_t at = 0; at < data.size(); at += block) StoredChunk(data.substr(at, block));
    return Terminator();
}

std::vector<uint8_t> PackageBuilder::Unterminated() const {
    std::vector<uint8_t> out = bytes_;
    PutI32(out, 20, static_cast<int32_t>(out.size()) - LENGTH_BASE);
    return out;
}

std::vector<uint8_t> PackageBuilder::Finish() const {
    std::vector<uint8_t> out = bytes_;
    out.push_back(0);
    PutI32(out, 20, static_cast<int32_t>(out.size()) - LENGTH_BASE);
    return out;
}

// Declared length, the identity code (one group of 8-bit codes), the stored mode byte, data.
std::vector<uint8_t> StoredBody(const std::string& data) {
    std::vector<uint8_t> body(4);
    PutI32(body, 0, static_cast<int32_t>(data.size()) + 1);
    body.push_back(0x01);
    body.push_back(0x08);
    body.push_back(0x00);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

void PutI32(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    }
}

std::string Sjis(const char* utf8) {
    std::string out;
    if (!Utf8ToShiftJis(utf8, out)) throw std::runtime_error("no Shift-JIS form");
    return out;
}
