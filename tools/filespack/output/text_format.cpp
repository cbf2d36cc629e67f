#include "tools/filespack/output/text_format.h"

#include <algorithm>
#include <cstdio>

#include "package/name_encoding.h"
#include "package/utf8_text.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDays = 134774;
// The last FILETIME Windows formats: 30828-09-14.
constexpr int64_t kLastUnixSecond = 910692730085LL;

struct Civil {
    int64_t year;
    unsigned month;
    unsigned day;
};

// Days since 1970-01-01 to a proleptic Gregorian date.
Civil CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Split {
    Civil date;
    int64_t hour, minute, second, ticks;
};

Split SplitTime(FileTime time) {
    const auto total_seconds = static_cast<int64_t>(time / kTicksPerSecond);
    const int64_t days = total_seconds / kSecondsPerDay;
    const int64_t in_day = total_seconds % kSecondsPerDay;
    return {CivilFromDays(days - kEpochDays), in_day / 3600, in_day / 60 % 60, in_day % 60,
            static_cast<int64_t>(time % kTicksPerSecond)};
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

bool Digits(std::string_view text, size_t at, size_t count, int64_t& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Date and time of day to the second, the two joined by `between`.
std::string FormatSeconds(const Split& t, char between) {
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u%c%02lld:%02lld:%02lld",
                  static_cast<long long>(t.date.year), t.date.month, t.date.day, between,
                  static_cast<long long>(t.hour), static_cast<long long>(t.minute),
                  static_cast<long long>(t.second));
    return text;
}

}  // namespace

std::string NameText(std::string_view shift_jis) {
    std::string utf8;
    if (ShiftJisToUtf8(shift_jis, utf8)) return utf8;
    std::string shown;
    for (unsigned char c : shift_jis) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            AppendEscape(shown, "\\x%02X", c);
        }
    }
    return shown;
}

std::string DisplayName(std::string_view shift_jis) {
    std::string utf8;
    if (!ShiftJisToUtf8(shift_jis, utf8)) return NameText(shift_jis);
    // Decoded, a backslash separates folders; shown as '/', it can never pass for an escape.
    // A '/' inside a part (which no reader accepts) is escaped, so the two never look alike.
    std::string shown;
    for (size_t from = 0; from <= utf8.size();) {
        const size_t end = std::min(utf8.find('\\', from), utf8.size());
        if (from != 0) shown += '/';
        for (const char c : EscapeForTerminal(std::string_view(utf8).substr(from, end - from))) {
            if (c == '/') {
                shown += "\\x2F";
            } else {
                shown += c;
            }
        }
        from = end + 1;
    }
    return shown;
}

std::string EscapeForTerminal(std::string_view utf8) {
    std::string shown;
    shown.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const size_t start = at;
        const char32_t c = NextUtf8(utf8, at);
        if (c == NOT_UTF8 || c < 0x20 || c == 0x7F) {
            AppendEscape(shown, "\\x%02X", static_cast<unsigned char>(utf8[start]));
        } else if (c >= 0x80 && c <= 0x9F) {
            AppendEscape(shown, "\\u%04X", static_cast<unsigned>(c));
        } else if (c == '\\') {
            shown += "\\\\";
        } else {
            shown += utf8.substr(start, at - start);
        }
    }
    return shown;
}

std::string FormatTime(FileTime time) {
    return FormatSeconds(SplitTime(time), ' ');
}

std::string FormatTimeIso(FileTime time) {
    const Split t = SplitTime(time);
    std::string out = FormatSeconds(t, 'T');
    if (t.ticks != 0) {
        char text[16];
        std::snprintf(text, sizeof text, ".%07lld", static_cast<long long>(t.ticks));
        std::string fraction = text;
        while (fraction.back() == '0') fraction.pop_back();
        out += fraction;
    }
    return out + "Z";
}

std::optional<FileTime> FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kEpochDays * kSecondsPerDay || seconds > kLastUnixSecond) return std::nullopt;
    if (nanoseconds >= 1000000000u) return std::nullopt;
    const int64_t since_1601 = seconds + kEpochDays * kSecondsPerDay;
    return static_cast<FileTime>(since_1601) * kTicksPerSecond + nanoseconds / 100;
}

std::optional<FileTime> ParseUserTime(std::string_view text) {
    if (!text.empty() && text.front() == '@') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    if (text.size() <= 12 && Digits(text, 0, text.size(), value)) {
        return FileTimeFromUnix(value);
    }
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, 0, 4, year) || text.size() < 10 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day)) {
        return std::nullopt;
    }
    std::string_view rest = text.substr(10);
    if (!rest.empty() && (rest.front() == 'T' || rest.front() == ' ')) {
        if (rest.size() < 9 || !Digits(rest, 1, 2, hour) || rest[3] != ':' ||
            !Digits(rest, 4, 2, minute) || rest[6] != ':' || !Digits(rest, 7, 2, second)) {
            return std::nullopt;
        }
        rest.remove_prefix(9);
    }
    if (rest == "Z") rest.remove_prefix(1);
    if (!rest.empty()) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // Reject dates such as February 30 that would roll into the next month.
    const Civil back = CivilFromDays(days);
    if (back.month != month || back.day != static_cast<unsigned>(day)) return std::nullopt;
    return FileTimeFromUnix(days * kSecondsPerDay + hour * 3600 + minute * 60 + second);
}

std::string FormatAttributes(uint32_t attributes) {
    std::string out = "-----";
    if (attributes & ATTRIBUTE_READONLY) out[0] = 'R';
    if (attributes & ATTRIBUTE_HIDDEN) out[1] = 'H';
    if (attributes & ATTRIBUTE_SYSTEM) out[2] = 'S';
    if (attributes & ATTRIBUTE_ARCHIVE) out[3] = 'A';
    if (attributes & ATTRIBUTE_NORMAL) out[4] = 'N';
    const uint32_t others = attributes & ~(ATTRIBUTE_READONLY | ATTRIBUTE_HIDDEN |
                                           ATTRIBUTE_SYSTEM | ATTRIBUTE_ARCHIVE | ATTRIBUTE_NORMAL);
    if (others != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "+%X", others);
        out += hex;
    }
    return out;
}

std::string FormatBytes(int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string JsonEscape(std::string_view utf8) {
    std::string out;
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04X", c);
                    out += hex;
                } else {
                    out += ch;
                }
        }
    }
    return out;
}
