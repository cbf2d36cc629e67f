// What the worker does with the destination folder once the extraction is over: list what it
// holds for the log, and, in install mode or after a failure, remove what was extracted.
#pragma once

#include <string>

#include "runner/retry_policy.h"
#include "runner/run_log.h"

// Logs each file in `folder` with its size.
void LogFolderFiles(RunLog& log, const std::string& folder);

// Deletes the file (or, with `is_folder`, the empty folder or link) at `path`, the "\\?\" form
// of `shown`, trying again while another program holds it and `deadline` allows.
bool RemoveRetrying(RunLog& log, RetryDeadline& deadline, const std::wstring& path,
                    const std::string& shown, bool is_folder);

// Deletes the top-level files of `folder` (read-only ones too), then the folder itself.
// Subfolders are left, and so is the folder that holds them. `deadline` is the whole
// clean-up's.
void CleanUpWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline);
