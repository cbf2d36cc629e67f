#include "runner/command_line.h"

#include <cstring>

#include "package/ascii_case.h"
#include "runner/path_text.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) {
        ++p;
    }
    return p;
}

// Reads the argument that starts at `p` (no blanks before it) into `out`; returns where the
// argument ends.
const char* ReadArgument(const char* p, std::string& out) {
    bool quoted = false;
    for (;;) {
        size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        if (*p == '"') {
            if (backslashes % 2 == 1) {
                out.append(backslashes / 2, '\\');
                out.push_back('"');
                ++p;
                continue;
            }
            out.append(backslashes / 2, '\\');
            if (quoted && p[1] == '"') {
                // "" inside quotes is one literal quote, and the quotes go on.
                out.push_back('"');
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
            continue;
        }
        out.append(backslashes, '\\');
        if (*p == '\0' || (!quoted && IsBlank(*p))) {
            return p;
        }
        out.push_back(*p++);
    }
}

// True when `text` starts with `prefix` (upper-case letters, matched ignoring case); `value`
// receives the rest.
bool TakeValue(const std::string& text, const char* prefix, std::string& value) {
    const size_t len = std::strlen(prefix);
    if (text.size() < len || !EqualsIgnoringAsciiCase(text.substr(0, len), prefix)) {
        return false;
    }
    value = text.substr(len);
    return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const char* text) {
    std::vector<std::string> arguments;
    const char* p = SkipBlanks(text);
    while (*p != '\0') {
        std::string argument;
        p = SkipBlanks(ReadArgument(p, argument));
        arguments.push_back(argument);
    }
    return arguments;
}

const char* CommandTail(const char* command_line) {
    const char* p = command_line;
    bool quoted = false;
    // Blanks end the path only outside quotes; any other control character ends it too.
    while (*p != '\0' && (quoted || static_cast<unsigned char>(*p) > ' ')) {
        if (*p == '"') {
            quoted = !quoted;
        }
        ++p;
    }
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') {
        ++p;
    }
    return p;
}

CommandLine ParseCommandLine(const char* tail) {
    CommandLine line;
    if (tail == nullptr) {
        return line;
    }
    bool runas_argument = false;
    const char* p = SkipBlanks(tail);
    while (*p != '\0') {
        std::string argument;
        p = SkipBlanks(ReadArgument(p, argument));
        std::string value;
        if (argument == "--") {
            line.passes_arguments = true;
            line.setup_arguments = p;
            line.has_switches = true;
            break;
        }
        if (argument == "/RUNAS") {
            runas_argument = true;
        } else if (EqualsIgnoringAsciiCase(argument, "/S")) {
            line.unattended = true;
            line.has_switches = true;
        } else if (EqualsIgnoringAsciiCase(argument, "/?")) {
            line.show_usage = true;
            line.has_switches = true;
        } else if (EqualsIgnoringAsciiCase(argument, "/UNPACK")) {
            line.unpack_only = true;
            line.unpack_folder.clear();
            line.has_switches = true;
        } else if (TakeValue(argument, "/UNPACK=", value)) {
            line.unpack_only = true;
            line.unpack_folder = value;
            line.has_switches = true;
            line.empty_value |= value.empty();
        } else if (TakeValue(argument, "/LOG=", value)) {
            line.log_file = value;
            line.has_switches = true;
            line.empty_value |= value.empty();
        }
    }
    // Runs that use none of the switches keep the old rule, "/RUNAS" anywhere; with switches
    // a folder or log path may contain the text, so only an argument of its own counts.
    line.relaunch = line.has_switches ? runas_argument : HasRelaunchArgument(tail);
    return line;
}

void AppendArgument(std::string& command, const std::string& argument) {
    if (!command.empty()) {
        command.push_back(' ');
    }
    const bool needs_quotes =
        argument.empty() || argument.find_first_of(" \t\"") != std::string::npos;
    if (!needs_quotes) {
        command += argument;
        return;
    }
    command.push_back('"');
    size_t backslashes = 0;
    for (size_t i = 0; i < argument.size(); ++i) {
        const char c = argument[i];
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote itself escaped.
            command.append(backslashes + 1, '\\');
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        command.push_back(c);
    }
    // The closing quote must not be taken as escaped by backslashes that end the argument.
    command.append(backslashes, '\\');
    command.push_back('"');
}

std::string RelaunchTail(const CommandLine& line) {
    std::string tail = "/RUNAS";
    if (line.unattended) {
        AppendArgument(tail, "/S");
    }
    if (line.unpack_only) {
        AppendArgument(tail,
                       line.unpack_folder.empty() ? "/UNPACK" : "/UNPACK=" + line.unpack_folder);
    }
    if (!line.log_file.empty()) {
        AppendArgument(tail, "/LOG=" + line.log_file);
    }
    if (line.passes_arguments) {
        AppendArgument(tail, "--");
        if (!line.setup_arguments.empty()) {
            tail += ' ';
            tail += line.setup_arguments;
        }
    }
    return tail;
}
