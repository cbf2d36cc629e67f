// What the worker does with the destination folder once the extraction is over: list what it
// holds for the log, and, in install mode or after a failure, remove what was extracted. Every
// removal reaches its item by handle from the work folder, never through a link, and every
// outcome is logged as it happened.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "runner/retry_policy.h"
#include "runner/run_log.h"

// Logs each file in `folder` with its size.
void LogFolderFiles(RunLog& log, const std::string& folder);

// Removes `name` inside the held folder `parent` (`shown` is its path for the log), trying again
// while another program holds it and `deadline` allows. A read-only file is removed too; a
// link is removed as itself. With a nonzero `identity`, only the file or folder the run made
// goes: anything put in its place since is kept.
void RemoveMadeItem(RunLog& log, RetryDeadline& deadline, HANDLE parent, std::wstring_view name,
                    const std::string& shown, uint64_t identity);

// Deletes the top-level files of `folder` (read-only ones too), then the folder itself, as
// RemoveWorkFolder does. Subfolders are left, and so is the folder that holds them. `deadline` is
// the whole clean-up's.
void CleanUpWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline);

// Removes `folder` itself when it is empty, trying again while another program holds it.
void RemoveWorkFolder(RunLog& log, const std::string& folder, RetryDeadline& deadline);
