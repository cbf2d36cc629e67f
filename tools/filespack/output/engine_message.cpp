#include "tools/filespack/output/engine_message.h"

#include "package/extract_messages.h"
#include "tools/filespack/output/text_format.h"

namespace {

bool Says(const std::string& message, const char* shift_jis) {
    return message.starts_with(DisplayName(shift_jis));
}

// The part of a "%s" message after its fixed words: the entry's name.
std::string Subject(const std::string& message, const char* shift_jis_fixed) {
    const std::string fixed = DisplayName(shift_jis_fixed);
    return message.size() > fixed.size() ? message.substr(fixed.size() + 1) : "";
}

}  // namespace

std::string ExplainEngineMessage(const std::string& message) {
    if (Says(message, READ_ERROR_TEXT)) {
        return "the package ends before the length its header declares";
    }
    if (Says(message, SEGMENT_SIZE_ERROR_FORMAT)) {
        return "a chunk is larger than the package's block size allows";
    }
    if (Says(message, FORMAT_ERROR_TEXT)) return "its layout is not that of a package";
    if (Says(message, CODER_ERROR_TEXT)) {
        return "a coded package: its names and contents are coded, and no coder is available";
    }
    if (Says(message, DECODE_ERROR_FORMAT)) {
        const std::string name = Subject(message, "\x89\xf0\x93\x80\x83\x47\x83\x89\x81\x5b\x81\x49");
        return "a chunk" + (name.empty() ? std::string() : " of " + name) + " does not decode";
    }
    if (Says(message, WRITE_ERROR_TEXT)) return "the extractor could not write a file";
    return "the extractor failed";
}

std::string QuoteEngine(const std::string& message) {
    return " (the extractor said \"" + message + "\")";
}
