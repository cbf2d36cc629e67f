#include "tools/filespack/reading/package_layout.h"

#include <limits>
#include <map>

#include "codec/chunk_mode.h"
#include "package/little_endian.h"
#include "package/name_tree.h"
#include "package/name_encoding.h"
#include "package/name_rules.h"
#include "package/package_cursor.h"
#include "package/package_header.h"
#include "tools/filespack/output/text_format.h"

namespace {

std::string EntryLabel(size_t index, const std::string& name) {
    return "entry " + std::to_string(index + 1) + " (" + DisplayName(name) + ")";
}

// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + string + "\"".
std::string Quoted(const std::string& shift_jis) {
    std::string out = "\"";
    out += DisplayName(shift_jis);
    out += '"';
    return out;
}

std::string EntryProblem(const std::string& shift_jis, const NameProblem& problem) {
    return "the entry " + Quoted(shift_jis) + ": " + DescribeNameProblem(problem);
}

}  // namespace

LayoutScan ReadPackageLayout(std::span<const uint8_t> package,
                             const std::function<void(int64_t passed)>& passed) {
    LayoutScan scan;
    PackageLayout& layout = scan.layout;
    auto fail = [&scan](std::string why) {
        scan.error = std::move(why);
        return scan;
    };
    if (package.size() < static_cast<size_t>(HEADER_SIZE)) {
        return fail("too short for a package header (" + std::to_string(package.size()) +
                    " bytes)");
    }
    const PackageHeader header = ReadPackageHeader(package.data());
    if (!header.magic) return fail("not a package: the first 16 bytes are not the package magic");
    if (header.declared <= 0) return fail("damaged header: the length field is not positive");
    layout.length = header.length();
    if (!header.plain) {
        return fail("a coded package: its names and contents are coded, and no coder is available");
    }
    if (!header.signature) return fail("damaged header: wrong signature");
    // A package cut short is still walked as far as its bytes go, so that what survives can be
    // listed; every problem the walk meets there is the cut.
    const bool cut = static_cast<uint64_t>(layout.length) > package.size();
    const std::string cut_words = "truncated: the header declares " +
                                  std::to_string(layout.length) + " bytes but only " +
                                  std::to_string(package.size()) + " are there";
    auto fail_or_cut = [&](std::string why) {
        if (!cut) return fail(std::move(why));
        if (why.starts_with("truncated: ")) why.erase(0, 11);
        else if (why.starts_with("truncated ")) why.replace(0, 10, "it ends ");
        return fail(cut_words + " (" + why + ")");
    };
    PackageCursor in(package.data(), cut ? static_cast<int64_t>(package.size()) : layout.length,
                     HEADER_SIZE);
    if (!in.Has(4)) return fail_or_cut("truncated before the block size");
    layout.block_size = in.TakeI32();
    if (layout.block_size < MIN_BLOCK_SIZE || layout.block_size > MAX_BLOCK_SIZE) {
        return fail_or_cut("block size " + std::to_string(layout.block_size) + " is outside " +
                    std::to_string(MIN_BLOCK_SIZE) + ".." + std::to_string(MAX_BLOCK_SIZE));
    }
    const int64_t chunk_limit = int64_t{layout.block_size} + CHUNK_SLACK;
    const auto chunk_capacity = static_cast<int32_t>(chunk_limit);
    ChunkModeReader modes;
    for (;;) {
        if (!in.Has(1))
            return fail_or_cut("truncated: no end byte after " + std::to_string(layout.entries.size()) +
                        " entries");
        const uint8_t name_length = in.TakeByte();
        if (name_length == 0) break;
        const size_t index = layout.entries.size();
        const std::string where = "entry " + std::to_string(index + 1);
        if (!in.Has(PackageCursor::EntryHeadSize(name_length))) {
            return fail_or_cut("truncated in the head of " + where);
        }
        LayoutEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(in.Take(name_length)), name_length);
        entry.size = in.TakeI32();
        const uint8_t* unit = in.Take(ENTRY_UNIT_SIZE);
        entry.attributes = LoadU32(unit + UNIT_ATTRIBUTES);
        entry.times.creation = LoadU64(unit + UNIT_CREATION);
        entry.times.last_access = LoadU64(unit + UNIT_LAST_ACCESS);
        entry.times.last_write = LoadU64(unit + UNIT_LAST_WRITE);
        entry.chunks_offset = in.position();
        const std::string label = EntryLabel(index, entry.name);
        if (entry.size < 0) return fail_or_cut(label + " has a negative size");
        for (;;) {
            if (!in.Has(4)) return fail_or_cut("truncated in the chunks of " + label);
            const int32_t chunk = in.TakeI32();
            entry.stored_bytes += 4;
            if (chunk <= 0) break;
            if (chunk > chunk_limit) {
                return fail_or_cut(label + ": a chunk of " + std::to_string(chunk) +
                            " bytes is above the limit of " + std::to_string(chunk_limit));
            }
            if (!in.Has(chunk)) return fail_or_cut("truncated in a chunk of " + label);
            const int mode = modes.Mode(in.Take(chunk), chunk, chunk_capacity);
            if (mode == RUN_LENGTH_FRAME) ++entry.zstd_chunks;
            if (mode == RUN_LENGTH_STREAM) ++entry.stream_chunks;
            if (passed) passed(in.position());
            entry.stored_bytes += chunk;
            ++entry.chunk_count;
        }
        if (entry.size > 0 && entry.chunk_count == 0) return fail_or_cut(label + " has no chunks");
        if (entry.size == 0 && entry.chunk_count > 0)
            return fail_or_cut(label + " is empty but has chunks");
        layout.total_size += entry.size;
        layout.zstd_chunks += entry.zstd_chunks;
        layout.stream_chunks += entry.stream_chunks;
        layout.entries.push_back(std::move(entry));
        if (layout.total_size > std::numeric_limits<int32_t>::max()) {
            return fail_or_cut("the files add up to 2 GiB or more, which cannot be extracted");
        }
    }
    if (layout.total_size == 0) {
        return fail_or_cut(layout.entries.empty() ? "the package holds no file"
                                           : "the package holds only empty files, which "
                                             "cannot be extracted");
    }
    if (cut) return fail(cut_words + " (the end byte was read; what follows it is missing)");
    scan.ok = true;
    return scan;
}

std::vector<std::string> WindowsNameProblems(const PackageLayout& layout) {
    std::vector<std::string> problems;
    NameTree seen;
    for (const auto& entry : layout.entries) {
        if (const NameProblem problem = StoredNameProblem(entry.name, NameLevel::portable)) {
            problems.push_back(EntryProblem(entry.name, problem));
            continue;
        }
        std::string utf8;
        ShiftJisToUtf8(entry.name, utf8);  // the rules above have converted it already
        if (const NameTree::Verdict clash = seen.Add(utf8, Quoted(entry.name))) {
            problems.push_back("the entries " + clash.other + " and " + Quoted(entry.name) + " " +
                               DescribeClash(clash.clash) + ", so the second could not be created");
        }
    }
    return problems;
}

std::string FirstWindowsNameProblem(const PackageLayout& layout) {
    const std::vector<std::string> problems = WindowsNameProblems(layout);
    return problems.empty() ? "" : problems.front();
}

std::string FolderSpelledTwice(const PackageLayout& layout) {
    NameTree seen;
    for (const auto& entry : layout.entries) {
        if (StoredNameProblem(entry.name, NameLevel::engine)) continue;
        std::string utf8;
        ShiftJisToUtf8(entry.name, utf8);  // the rules above have converted it already
        const NameTree::Verdict clash = seen.Add(utf8, Quoted(entry.name));
        if (clash.clash == NameTree::Clash::folder_spelled_twice) {
            return "the entries " + clash.other + " and " + Quoted(entry.name) + " " +
                   DescribeClash(clash.clash) + ", so no file of the package is extracted";
        }
    }
    return "";
}

std::string FirstEngineNameProblem(const PackageLayout& layout) {
    for (const auto& entry : layout.entries) {
        if (const NameProblem problem = StoredNameProblem(entry.name, NameLevel::engine)) {
            return EntryProblem(entry.name, problem);
        }
    }
    return "";
}
