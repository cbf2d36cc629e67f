// The "\\?\" form of an absolute Windows path, through which the file functions take paths
// longer than MAX_PATH. Plain text work, so that it is tested on every platform.
#pragma once

#include <string>
#include <string_view>

// `full` must already be absolute and normalised (GetFullPathNameW): in the "\\?\" form the
// system no longer removes "." and "..", trailing dots and blanks, or turns '/' into '\'.
// "C:\x" becomes "\\?\C:\x", "\\server\share\x" becomes "\\?\UNC\server\share\x"; a path
// already in a "\\?\" or "\\.\" form, and anything not absolute, is returned unchanged.
template <typename Char>
std::basic_string<Char> ExtendedLengthPath(std::basic_string_view<Char> full) {
    using Text = std::basic_string<Char>;
    const auto is_separator = [](Char c) { return c == Char('\\') || c == Char('/'); };
    const auto is_letter = [](Char c) {
        return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
    };
    const Text prefix{Char('\\'), Char('\\'), Char('?'), Char('\\')};
    if (full.size() >= 3 && is_letter(full[0]) && full[1] == Char(':') && is_separator(full[2])) {
        return prefix + Text(full);
    }
    if (full.size() >= 3 && is_separator(full[0]) && is_separator(full[1])) {
        if (full.size() >= 4 && (full[2] == Char('?') || full[2] == Char('.')) &&
            is_separator(full[3])) {
            return Text(full);
        }
        const Text unc{Char('U'), Char('N'), Char('C'), Char('\\')};
        return prefix + unc + Text(full.substr(2));
    }
    return Text(full);
}
