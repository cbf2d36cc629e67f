// Loads the package a command works on: a package file, or an executable that carries one as
// a resource of type "FILESPACK".
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// A whole file's bytes, read-only. On POSIX the file is mapped, so that its pages come from the
// page cache as they are read and can be given back behind the reader; elsewhere, and for files
// that cannot be mapped (pipes), it is read into memory. A file shortened while it is mapped
// reads as zeros past its new end, and Shrank() then says so.
class FileImage {
  public:
    FileImage() = default;
    ~FileImage();
    FileImage(FileImage&& other) noexcept;
    FileImage& operator=(FileImage&& other) noexcept;
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    // False with `error` set when the file cannot be opened or read. An empty file is no error.
    bool Open(const std::filesystem::path& path, std::string& error);

    // Holds `bytes` themselves, as a file read into memory: nothing another program does to a
    // file changes them.
    void Adopt(std::vector<uint8_t> bytes);

    std::span<const uint8_t> bytes() const { return {data_, size_}; }
    bool mapped() const { return mapped_; }

    // The bytes before `end` will not be read again soon: their memory may go back to the
    // system. Reading them later still gives the same bytes. Does nothing unless mapped.
    void ReleaseBefore(size_t end) const;
    // The same for the whole file, after a walk over it that the engine will repeat.
    void ReleaseAll() const;

    // Whether the file was found shorter than when it was opened: another program cut it while
    // it was read. What was read past its new end was zeros, not the file.
    bool Shrank() const;

  private:
    void Reset();

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    int descriptor_ = -1;          // the mapped file, held open while mapped
    std::vector<uint8_t> copy_;    // the bytes, when not mapped
    mutable size_t released_ = 0;  // ReleaseBefore has given back everything before this
};

// Whether an executable carries an Authenticode signature; whether it verifies is for
// osslsigncode verify to say.
enum class Signature { NOT_AN_EXECUTABLE, NONE, PRESENT };

struct PackageSource {
    bool ok = false;
    std::string error;
    FileImage file;        // the whole file
    size_t offset = 0;     // where the package starts in it
    size_t length = 0;     // the bytes that really lie there
    std::string resource;  // the resource's name, when it came from an executable
    Signature signature = Signature::NOT_AN_EXECUTABLE;

    std::span<const uint8_t> bytes() const { return file.bytes().subspan(offset, length); }
    // `consumed` bytes of the package have been read for the last time.
    void ReleaseConsumed(int64_t consumed) const;
};

inline constexpr const char* kPackageResourceType = "FILESPACK";

// "; signature: present" or "; signature: none" for an executable, "" for a package file.
std::string SignatureWords(const PackageSource& source);

// What to say when the file was cut while it was read: the engine's read error, and why.
std::string ShrankWords(const std::string& shown);

// `resource_name` empty: the executable's only resource of the type (several are an error, which
// `choose_hint` tells how to resolve).
PackageSource LoadPackage(const std::filesystem::path& path, const std::string& resource_name,
                          const std::string& choose_hint = "choose one with --resource");
