// The log asked for with "/LOG=<file>": UTF-8 text (paths may hold any character), one line per
// event, each with the local time and the process id (an elevated copy writes to the same
// file). A new or empty log starts with a byte-order mark.
#pragma once

#include <string>

class RunLog {
  public:
    // An empty path keeps the log off.
    void Open(const std::string& path) { path_ = path; }
    bool IsOn() const { return !path_.empty(); }

    // Appends one line, formatted printf-style from UTF-8 text; line breaks inside are made
    // blanks.
    void Write(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

  private:
    std::string path_;
};
