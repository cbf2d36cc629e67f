// A Windows executable (PE32 or PE32+) read from memory, and rewritten with other resources.
// The resource section is rebuilt in place; sections behind it (the relocations, debug sections)
// move with its new size, the symbol and string tables behind them; the headers' sizes, data
// directories and checksum are set to match; a certificate is not carried over, since the new
// bytes would no longer match it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pe/resource_section.h"

struct PeSection {
    uint32_t virtual_size = 0;
    uint32_t virtual_address = 0;
    uint32_t raw_size = 0;
    uint32_t raw_offset = 0;
    uint32_t characteristics = 0;
};

class PeImage {
  public:
    // False with `error` set when the bytes are not an executable this class can rewrite.
    // `file` must outlive the object.
    bool Parse(std::span<const uint8_t> file, std::string& error);

    bool pe32_plus() const { return pe32_plus_; }
    // Whether the file carries a certificate table (an Authenticode signature).
    bool has_signature() const { return certificate_size_ != 0; }

    std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t size) const;
    std::optional<std::vector<Resource>> Resources(std::string& error) const;

    // The whole executable with `resources` as its resources.
    bool Rewrite(std::vector<Resource> resources, std::vector<uint8_t>& out,
                 std::string& error) const;

  private:
    // The steps of Rewrite.
    bool ResourceSection(size_t& index, std::string& error) const;
    uint64_t SectionsEnd() const;
    bool MayResize(size_t index, std::string& error) const;
    bool Relaid(size_t index, size_t section_size, std::vector<PeSection>& moved,
                uint64_t& image_end, std::string& error) const;
    void WriteHeaders(size_t index, const std::vector<PeSection>& moved, size_t section_size,
                      std::vector<uint8_t>& out) const;
    void CarrySymbols(std::vector<uint8_t>& out) const;

    std::span<const uint8_t> file_;
    bool pe32_plus_ = false;
    uint64_t optional_ = 0;       // file offset of the optional header
    uint64_t section_table_ = 0;  // file offset of the first section header
    uint64_t directories_ = 0;    // file offset of the data directories
    uint32_t directory_count_ = 0;
    uint32_t section_alignment_ = 0;
    uint32_t file_alignment_ = 0;
    uint32_t resource_rva_ = 0;
    uint32_t resource_size_ = 0;
    uint32_t certificate_size_ = 0;
    // The COFF symbol table and the string table behind it, where a build left them (unstripped
    // builds name their long sections, "/4", in the string table): carried to the new file.
    uint64_t symbols_ = 0;
    uint64_t symbols_size_ = 0;
    std::vector<PeSection> sections_;
};

// The checksum the loader checks for drivers and some system files: the file's 16-bit words
// summed with end-around carry, skipping the checksum field, plus the file's length.
uint32_t PeChecksum(std::span<const uint8_t> image, uint64_t checksum_offset);
