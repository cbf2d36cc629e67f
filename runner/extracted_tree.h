// The folders and files an extraction made, as the engine tells them, and their removal in the
// install clean-up below the work folder's top (whose files the clean-up takes as it always has).
#pragma once

#include <string>
#include <vector>

#include "package/creation_record.h"
#include "runner/retry_policy.h"
#include "runner/run_log.h"

class ExtractedTree final : public CreationRecord {
  public:
    void OnFolderCreated(const char* path, size_t length, uint64_t) override {
        folders_.emplace_back(path, length);
    }
    void OnFileCreated(const char* path, uint64_t) override { files_.emplace_back(path); }

    // Deletes the files made inside the folders made (read-only ones too), then those folders,
    // deepest first, as far as each is empty: what Setup.exe made in one keeps it. Never
    // through a link or junction put in the place of a folder; one in the place of a file or
    // folder made is removed itself, not what it leads to. What another program holds is tried
    // again within `deadline`, the whole clean-up's.
    void TakeBack(RunLog& log, const std::string& folder, RetryDeadline& deadline) const;

  private:
    std::vector<std::string> folders_;  // parents before what they hold
    std::vector<std::string> files_;
};
