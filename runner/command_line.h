// The program's command line: the switches an administrator or a deployment tool passes, and
// the "/RUNAS" that marks an elevated relaunch. No Windows needed.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    bool relaunch = false;          // "/RUNAS": this copy is the elevated relaunch
    bool unattended = false;        // "/S"
    bool unpack_only = false;       // "/UNPACK" or "/UNPACK=<folder>"
    bool show_usage = false;        // "/?"
    // "/UNPACK=" or "/LOG=" with nothing after it, as a batch file's unset variable gives: a
    // command line the program cannot take, rather than a guess at what was meant.
    bool empty_value = false;
    bool has_switches = false;      // any switch above but "/RUNAS", or "--"
    std::string unpack_folder;      // from "/UNPACK=<folder>"; empty: named after the program
    std::string log_file;           // from "/LOG=<file>"; empty: no log
    bool passes_arguments = false;  // "--" was given
    std::string setup_arguments;    // everything after "--", verbatim
};

// The command line is UTF-8 text (from GetCommandLineW), in which a backslash byte is always a
// backslash.

// Splits a command line into arguments as the C runtime does (blanks separate, double quotes
// group, backslashes escape only before a quote).
std::vector<std::string> SplitCommandLine(const char* text);

// The command tail: `command_line` after the program's own path (quoted or not) and the blanks
// that follow it, as the start-up code hands it to WinMain.
const char* CommandTail(const char* command_line);

// Reads the switches of a command tail. Switch names ignore case; anything else is ignored.
CommandLine ParseCommandLine(const char* tail);

// Appends `argument` to `command` after a blank, quoted where SplitCommandLine needs it to give
// the argument back unchanged.
void AppendArgument(std::string& command, const std::string& argument);

// The command tail for the elevated copy: "/RUNAS" and the switches of `line`. Paths go as they
// are, so make them absolute first: the copy starts in another folder.
std::string RelaunchTail(const CommandLine& line);
