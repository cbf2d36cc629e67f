// The folders and files an extraction made, as the engine tells them, and their removal in the
// install clean-up below the work folder's top (whose files the clean-up takes as it always has).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/creation_record.h"
#include "runner/retry_policy.h"
#include "runner/run_log.h"

class ExtractedTree final : public CreationRecord {
  public:
    void OnFolderCreated(const char* path, size_t length, uint64_t identity) override {
        folders_.push_back({std::string(path, length), identity});
    }
    void OnFileCreated(const char* path, uint64_t identity) override {
        files_.push_back({path, identity});
    }

    // Deletes the files made inside the folders made (read-only ones too), then those folders,
    // deepest first, as far as each is empty: what Setup.exe made in one keeps it. Each is
    // reached by handle from the work folder, part by part, never through a link or junction
    // put in the place of a folder; one in the place of a file or folder made is removed itself,
    // not what it leads to, and a file or folder put in the place of one made is kept. What
    // another program holds is tried again within `deadline`, the whole clean-up's. Each
    // outcome is logged.
    void TakeBack(RunLog& log, const std::string& folder, RetryDeadline& deadline) const;

  private:
    struct Made {
        std::string path;
        uint64_t identity;
    };
    std::vector<Made> folders_;  // parents before what they hold
    std::vector<Made> files_;
};
