// Runs a decoding stage on a copy of a body in a buffer laid out as the extraction engine does.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct StageResult {
    int32_t result = 0;
    std::vector<uint8_t> buffer;  // the whole buffer after the call
    std::vector<uint8_t> Output() const {
        const auto n = static_cast<size_t>(std::max(result, 0));
        return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n)};
    }
};

template <typename Stage>
StageResult RunStage(Stage stage, const std::vector<uint8_t>& input, int32_t capacity) {
    StageResult r;
    r.buffer.assign(std::max(input.size(), static_cast<size_t>(std::max(capacity, 0))) + 512, 0xA5);
    std::copy(input.begin(), input.end(), r.buffer.begin());
    r.result = stage(r.buffer.data(), static_cast<int32_t>(input.size()), capacity);
    return r;
}
