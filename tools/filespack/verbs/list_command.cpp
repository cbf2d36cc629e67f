// `list`: the entries as stored, read from the layout alone so that even a package whose chunks
// do not decode can be looked at.
#include <cstdio>

#include "tools/filespack/verbs/commands.h"
#include "tools/filespack/files/file_names.h"
#include "tools/filespack/reading/integrity_report.h"
#include "tools/filespack/reading/package_layout.h"
#include "tools/filespack/reading/package_source.h"
#include "tools/filespack/output/run_report.h"
#include "tools/filespack/output/text_format.h"

namespace {

const char* MethodWord(int32_t chunks, int32_t zstd_chunks, int32_t stream_chunks) {
    if (zstd_chunks == 0 && stream_chunks == 0) return "classic";
    if (zstd_chunks == chunks) return "zstd";
    return stream_chunks == chunks ? "stream" : "mixed";
}

void WriteTable(const PackageLayout& layout, const IntegrityCheck& integrity,
                const std::string& signature, std::ostream& out) {
    out << "Attrib  "
        << "        Size  "
        << "Created (UTC)        "
        << "Accessed (UTC)       "
        << "Written (UTC)        "
        << "Name\n";
    int32_t chunk_total = 0;
    for (const auto& e : layout.entries) {
        chunk_total += e.chunk_count;
        char size[32];
        std::snprintf(size, sizeof size, "%12ld", static_cast<long>(e.size));
        std::string attributes = FormatAttributes(e.attributes);
        if (attributes.size() < 6) attributes.resize(6, ' ');
        out << attributes << "  " << size << "  " << FormatTime(e.times.creation) << "  "
            << FormatTime(e.times.last_access) << "  " << FormatTime(e.times.last_write) << "  "
            << DisplayName(e.name) << '\n';
    }
    out << layout.entries.size() << (layout.entries.size() == 1 ? " file, " : " files, ")
        << layout.total_size << " bytes; package " << layout.length << " bytes, block size "
        << layout.block_size << ", chunks "
        << MethodWord(chunk_total, layout.zstd_chunks, layout.stream_chunks) << "; "
        << IntegrityWords(integrity) << signature << '\n';
}

void WriteJson(const PackageLayout& layout, const IntegrityCheck& integrity,
               const PackageSource& source, const LayoutScan& scan, std::ostream& out) {
    const std::string& resource = source.resource;
    int32_t chunk_total = 0;
    for (const auto& e : layout.entries) chunk_total += e.chunk_count;
    out << "{\n  \"length\": " << layout.length << ",\n  \"block_size\": " << layout.block_size
        << ",\n  \"chunks\": \"" << MethodWord(chunk_total, layout.zstd_chunks, layout.stream_chunks)
        << "\",\n  \"integrity\": \"" << IntegrityJsonValue(integrity) << '"';
    if (!resource.empty()) out << ",\n  \"resource\": \"" << JsonEscape(resource) << '"';
    if (source.signature != Signature::NOT_AN_EXECUTABLE) {
        out << ",\n  \"signature\": \""
            << (source.signature == Signature::PRESENT ? "present" : "none") << '"';
    }
    if (const int64_t trailing = TrailingBytes(source, layout); trailing > 0) {
        out << ",\n  \"trailing_bytes\": " << trailing;
    }
    // A damaged package's entries are those before the damage, and the error says so.
    if (!scan.ok) out << ",\n  \"error\": \"" << JsonEscape(scan.error) << '"';
    out << ",\n  \"total_size\": " << layout.total_size << ",\n  \"files\": [";
    const char* separator = "\n";
    for (const auto& e : layout.entries) {
        out << separator << "    {\"name\": \"" << JsonEscape(NameText(e.name))
            << "\", \"size\": " << e.size << ", \"attributes\": " << e.attributes
            << ", \"creation\": \"" << FormatTimeIso(e.times.creation) << "\", \"last_access\": \""
            << FormatTimeIso(e.times.last_access) << "\", \"last_write\": \""
            << FormatTimeIso(e.times.last_write) << "\", \"chunks\": " << e.chunk_count
            << ", \"classic_chunks\": " << e.chunk_count - e.zstd_chunks - e.stream_chunks
            << ", \"zstd_chunks\": " << e.zstd_chunks
            << ", \"stream_chunks\": " << e.stream_chunks << ", \"stored_size\": " << e.stored_bytes
            << '}';
        separator = ",\n";
    }
    out << (layout.entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace

int RunList(const ListOptions& options, ToolIo& io) {
    const PackageSource source = LoadPackage(PathFromUtf8(options.package), options.resource);
    if (!source.ok) return Complain(io, EXIT_PROBLEM, source.error);
    const IntegrityCheck integrity = CheckSourceIntegrity(source);
    const LayoutScan scan =
        ReadPackageLayout(source.bytes(), [&](int64_t passed) { source.ReleaseConsumed(passed); });
    // Without a header there is nothing to show; past it, every entry up to the damage is.
    if (!scan.ok && scan.layout.length == 0) {
        return Complain(io, EXIT_PROBLEM, options.package + ": " + scan.error);
    }
    if (options.json) {
        WriteJson(scan.layout, integrity, source, scan, io.out);
    } else {
        WriteTable(scan.layout, integrity, SignatureWords(source), io.out);
    }
    if (!scan.ok) {
        return Complain(io, EXIT_PROBLEM,
                        options.package + ": " + scan.error + "; the entries before the damage "
                                                              "are listed");
    }
    if (integrity.verdict == IntegrityVerdict::MISMATCH) {
        return Complain(io, EXIT_PROBLEM,
                        options.package + ": " + IntegrityWords(integrity) +
                            "; the package is damaged");
    }
    if (const int64_t trailing = TrailingBytes(source, scan.layout); trailing > 0) {
        io.err << Prefix(io) << "warning: "
               << TrailingWords(options.package, trailing, scan.layout.length) << '\n';
    }
    return EXIT_OK;
}
