// What one extraction tells its caller.
#pragma once

#include <cstdint>

struct ExtractResult {
    int32_t file_count;   // files created; set only on success
    int32_t byte_count;   // the package length; set only on success
    int32_t coder_error;  // 1 when the failure was a coder error
    char message[516];    // NUL-terminated Shift-JIS outcome message, or empty
};
