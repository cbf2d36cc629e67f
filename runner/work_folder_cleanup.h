// What the worker does with the destination folder once the extraction is over: list what it
// holds for the log, and, in install mode or after a failure, remove what was extracted.
#pragma once

#include <string>

#include "runner/run_log.h"

// Logs each file in `folder` with its size.
void LogFolderFiles(RunLog& log, const std::string& folder);

// Deletes the top-level files of `folder` (read-only ones too), then the folder itself.
// Subfolders are left, and so is the folder that holds them.
void CleanUpWorkFolder(RunLog& log, const std::string& folder);
