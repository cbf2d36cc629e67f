// The filespack command line: verbs, options, help and exit codes.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_PROBLEM = 1,  // a package or file problem
    EXIT_USAGE = 2,    // the command line was wrong
};

// Where a command writes, and whether a progress bar may be drawn on `err`.
struct ToolIo {
    std::ostream& out;
    std::ostream& err;
    bool terminal = false;
    std::optional<std::string> source_date_epoch;  // the environment variable, when set
    std::string verb;  // the verb being run, which every message names
};

// `args` starts with the program's name, as argv does; all text is UTF-8.
int RunFilespack(const std::vector<std::string>& args, ToolIo& io);
