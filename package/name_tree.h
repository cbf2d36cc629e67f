// The names of one package as Windows would lay them out: a file and a folder cannot share a
// name, nor can two spellings of one folder (Windows would merge them, case being no part of a
// name), nor two files.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

class NameTree {
  public:
    enum class Clash : uint8_t { none, same_file, file_and_folder, folder_spelled_twice };

    struct Verdict {
        Clash clash = Clash::none;
        std::string other;  // what the earlier name was called when it took the place

        explicit operator bool() const { return clash != Clash::none; }
    };

    // Takes the places of `utf8` (parts joined by '\', already past the name rules) and of the
    // folders above it, unless one is taken otherwise; `shown` is what a later clash calls it.
    Verdict Add(std::string_view utf8, const std::string& shown);

  private:
    struct Place {
        bool folder = false;
        std::string spelling;  // the folder's path as first written
        std::string shown;
    };
    std::map<std::string, Place> places_;  // path as Windows compares it -> who took it
};

// "the entries A and B ...", the reason after naming both names.
std::string DescribeClash(NameTree::Clash clash);
