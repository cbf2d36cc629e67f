#include "tools/filespack/output/run_report.h"

#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/output/engine_message.h"
#include "tools/filespack/reading/integrity_report.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/reading/package_source.h"
#include "tools/filespack/output/text_format.h"

namespace {

std::string Quoted(const std::string& utf8) {
    return "\"" + JsonEscape(utf8) + "\"";
}

void WriteList(std::ostream& out, const char* key, const std::vector<std::string>& items) {
    out << ",\n  \"" << key << "\": [";
    const char* separator = "";
    for (const auto& item : items) {
        out << separator << Quoted(item);
        separator = ", ";
    }
    out << ']';
}

}  // namespace

RunReport::RunReport(ToolIo& io, bool json, std::string package)
    : io_(io), json_(json), package_(std::move(package)) {}

void RunReport::SetSource(const PackageSource& source) {
    resource_ = source.resource;
    if (source.signature != Signature::NOT_AN_EXECUTABLE) {
        signature_ = source.signature == Signature::PRESENT ? "present" : "none";
    }
}

void RunReport::SetLayout(const PackageLayout& layout) {
    if (layout.length <= 0) return;  // not even a header: nothing of it to tell
    length_ = layout.length;
    total_size_ = layout.total_size;
    block_size_ = layout.block_size;
}

int RunReport::Fail(int code, const std::string& explanation, const std::string& engine_message) {
    explanation_ = explanation;
    engine_message_ = engine_message;
    Complain(io_, code, explanation + (engine_message.empty() ? "" : QuoteEngine(engine_message)));
    return code;
}

void RunReport::AddDetail(const std::string& detail) {
    details_.push_back(detail);
    io_.err << Prefix(io_) << detail << '\n';
}

void RunReport::Warn(const std::string& warning) {
    warnings_.push_back(warning);
    io_.err << Prefix(io_) << "warning: " << warning << '\n';
}

void RunReport::Finish(int code) const {
    if (!json_) return;
    std::ostream& out = io_.out;
    out << "{\n  \"outcome\": " << (code == EXIT_OK ? "\"ok\"" : "\"failed\"")
        << ",\n  \"exit_code\": " << code << ",\n  \"package\": " << Quoted(package_);
    if (!resource_.empty()) out << ",\n  \"resource\": " << Quoted(resource_);
    if (!signature_.empty()) out << ",\n  \"signature\": " << Quoted(signature_);
    if (integrity_) out << ",\n  \"integrity\": \"" << IntegrityJsonValue(*integrity_) << '"';
    if (length_ >= 0) out << ",\n  \"length\": " << length_;
    if (block_size_ > 0) out << ",\n  \"block_size\": " << block_size_;
    if (trailing_ > 0) out << ",\n  \"trailing_bytes\": " << trailing_;
    if (total_size_ >= 0) out << ",\n  \"total_size\": " << total_size_;
    if (files_ >= 0) out << ",\n  \"files\": " << files_;
    if (!folder_.empty()) out << ",\n  \"folder\": " << Quoted(folder_);
    if (!warnings_.empty()) WriteList(out, "warnings", warnings_);
    if (!explanation_.empty()) {
        out << ",\n  \"error\": {\"explanation\": " << Quoted(explanation_);
        if (!engine_message_.empty()) out << ", \"engine_message\": " << Quoted(engine_message_);
        if (!details_.empty()) {
            out << ", \"details\": [";
            const char* separator = "";
            for (const auto& detail : details_) {
                out << separator << Quoted(detail);
                separator = ", ";
            }
            out << ']';
        }
        out << '}';
    }
    out << "\n}\n";
}

int64_t TrailingBytes(const PackageSource& source, const PackageLayout& layout) {
    if (layout.length <= 0) return 0;
    const auto length = static_cast<int64_t>(source.length);
    return length > layout.length ? length - layout.length : 0;
}

std::string TrailingWords(const std::string& shown, int64_t trailing, int64_t length) {
    return shown + ": " + std::to_string(trailing) + (trailing == 1 ? " byte follows" : " bytes follow") +
           " the package's end at byte " + std::to_string(length) +
           "; they are not part of it and nothing reads them (a second package appended by "
           "mistake?)";
}
