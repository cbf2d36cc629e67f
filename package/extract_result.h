// What one extraction tells its caller.
#pragma once

#include <cstdint>

// Why an extraction failed, beside the message: three failures have no message (the design keeps
// them silent), and a caller should not have to parse Shift-JIS text to tell the others apart.
enum class ExtractFailure : int32_t {
    none = 0,
    read,                // リードエラー！: the package ends early or could not be read
    format,              // 書式エラー！: a damaged header, entry or chunk list, or a refused name
    segment_size,        // a chunk longer than the block size allows
    coder,               // コーダーエラー！: a coded package no installed coder accepts
    write,               // ライトエラー！: a file could not be created or written
    decode,              // 解凍エラー！: a chunk that does not decode to what its entry needs
    out_of_memory,       // no message: the chunk buffer could not be allocated
    nothing_to_extract,  // no message: the files add up to 0 bytes
    too_large,           // no message: the files add up to 2 GiB or more
};

struct ExtractResult {
    int32_t file_count;   // files created; set only on success
    int32_t byte_count;   // the package length; set only on success
    int32_t coder_error;  // 1 when the failure was a coder error
    char message[516];    // NUL-terminated Shift-JIS outcome message, or empty
    ExtractFailure failure;  // none on success
};
