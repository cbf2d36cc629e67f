// The two levels of name rules, their reasons, and case as Windows compares it.
#include "package/name_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/name_case.h"
#include "package/name_case_table.h"
#include "package/name_tree.h"
#include "package/name_encoding.h"
#include "package/utf8_text.h"

namespace {

constexpr NameFault OK = NameFault::none;

struct LevelCase {
    std::string stored;  // Shift-JIS bytes
    NameFault engine;
    NameFault portable;
};

// Where the two levels used to disagree with each other, and the ground both cover.
const LevelCase kLevelCases[] = {
    {"a.txt", OK, OK},
    {"\x95\x5c.txt", OK, OK},  // 表.txt: its second byte is a backslash
    {"\x81\x7c.txt", OK, OK},  // －.txt: its second byte is a '|'
    {"\x82\x81.txt", OK, OK},  // ａ.txt
    {"console.txt", OK, OK},
    {"COM0", OK, OK},
    {"LPT", OK, OK},
    {".hidden", OK, OK},
    {"a b", OK, OK},
    {"nul_file", OK, OK},
    {std::string(255, 'n'), OK, OK},
    {"a*b", OK, NameFault::reserved_character},
    {"a?b", OK, NameFault::reserved_character},
    {"\"q\"", OK, NameFault::reserved_character},
    {"<a>", OK, NameFault::reserved_character},
    {"a|b", OK, NameFault::reserved_character},
    {"x.", OK, NameFault::trailing_dot_or_space},
    {"x ", OK, NameFault::trailing_dot_or_space},
    {"c:x", NameFault::reserved_character, NameFault::reserved_character},
    {"a/b", NameFault::separator, NameFault::separator},
    // Names with folders: parts joined by single backslashes, each part judged as a name.
    {"a\\b", OK, OK},
    {"\x95\x5c\\\x83\x5c\\\x94\x5c.txt", OK, OK},  // 表\ソ\能.txt: 0x5C second bytes
    {"\x95\x5c\x5c", NameFault::empty_part, NameFault::empty_part},  // 表 and a trailing '\'
    {"\\a", NameFault::empty_part, NameFault::empty_part},
    {"a\\\\b", NameFault::empty_part, NameFault::empty_part},
    {"a\\..\\b", NameFault::only_dots, NameFault::only_dots},
    {"..\\b", NameFault::only_dots, NameFault::only_dots},
    {"C:\\x", NameFault::reserved_character, NameFault::reserved_character},
    {"a\\nul.txt\\b", NameFault::device_name, NameFault::device_name},
    {"a.\\b", OK, NameFault::trailing_dot_or_space},
    {"a\\b*", OK, NameFault::reserved_character},
    {"a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n\\o\\p", OK, OK},
    {"a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n\\o\\p\\q", NameFault::too_deep, NameFault::too_deep},
    {"tab\there", NameFault::control_character, NameFault::control_character},
    {"\x1b[2J", NameFault::control_character, NameFault::control_character},
    {"del\x7f", NameFault::control_character, NameFault::control_character},
    {"", NameFault::empty, NameFault::empty},
    {std::string(256, 'n'), NameFault::too_long, NameFault::too_long},
    {".", NameFault::only_dots, NameFault::only_dots},
    {"..", NameFault::only_dots, NameFault::only_dots},
    {" . ", NameFault::only_dots, NameFault::only_dots},
    {"\x81", NameFault::not_shift_jis, NameFault::not_shift_jis},
    {"\x85\x40", NameFault::not_shift_jis, NameFault::not_shift_jis},
    {"CON", NameFault::device_name, NameFault::device_name},
    {"con.txt", NameFault::device_name, NameFault::device_name},
    {"Nul.tar.gz", NameFault::device_name, NameFault::device_name},
    {"CON .txt", NameFault::device_name, NameFault::device_name},
    {"AUX .txt", NameFault::device_name, NameFault::device_name},
    {"COM1 .x", NameFault::device_name, NameFault::device_name},
    {"lpt9.log", NameFault::device_name, NameFault::device_name},
    {"CONIN$", NameFault::device_name, NameFault::device_name},
    {"conout$.x", NameFault::device_name, NameFault::device_name},
};

}  // namespace

TEST(NameRules, PortableLevelRefusesWhatTheEngineRefusesAndMore) {
    for (const auto& c : kLevelCases) {
        const NameProblem engine = StoredNameProblem(c.stored, NameLevel::engine);
        const NameProblem portable = StoredNameProblem(c.stored, NameLevel::portable);
        EXPECT_EQ(engine.fault, c.engine) << c.stored;
        EXPECT_EQ(portable.fault, c.portable) << c.stored;
    }
    // Exhaustively over the shortest names: every lone byte and every pair.
    std::string name;
    for (int first = 0; first < 256; ++first) {
        for (int second = -1; second < 256; ++second) {
            name.assign(1, static_cast<char>(first));
            if (second >= 0) name += static_cast<char>(second);
            if (StoredNameProblem(name, NameLevel::engine)) {
                ASSERT_TRUE(StoredNameProblem(name, NameLevel::portable)) << first << " " << second;
            }
        }
    }
}

TEST(NameRules, FileSystemNamesAreJudgedByTheirShiftJisForm) {
    std::string too_long;
    for (int i = 0; i < 128; ++i) too_long += "あ";
    const struct {
        std::string utf8;
        NameProblem expected;
    } cases[] = {
        {"表.txt", {}},
        {"¥.txt", {NameFault::no_shift_jis_form, 0xA5}},
        {"a😀", {NameFault::no_shift_jis_form, 0x1F600}},
        {"a\xff.txt", {NameFault::not_utf8, 0xFF}},
        {too_long, {NameFault::too_long, 256}},
        {"a*b", {NameFault::reserved_character, '*'}},
        {"esc\x1b", {NameFault::control_character, 0x1B}},
        {"CON .txt", {NameFault::device_name, 0}},
        // A backslash in one file's name is a character there, never a folder.
        {"a\\b", {NameFault::separator, '\\'}},
    };
    for (const auto& c : cases) {
        const NameProblem found = Utf8NameProblem(c.utf8, NameLevel::portable);
        EXPECT_EQ(found.fault, c.expected.fault) << c.utf8;
        EXPECT_EQ(found.detail, c.expected.detail) << c.utf8;
    }
}

TEST(NameRules, ReasonsNameTheCulpritButNeverPrintAControl) {
    EXPECT_NE(DescribeNameProblem({NameFault::device_name, 4}).find("CONIN$"), std::string::npos);
    for (int fault = 1; fault <= static_cast<int>(NameFault::too_deep); ++fault) {
        for (const uint32_t detail : {0x1Bu, 0x9Bu, 0x202Eu, 0x2028u, 0xFFFFu}) {
            const std::string text = DescribeNameProblem({static_cast<NameFault>(fault), detail});
            EXPECT_FALSE(text.empty()) << fault;
            for (size_t at = 0; at < text.size();) {
                const char32_t c = NextUtf8(text, at);
                EXPECT_TRUE(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && c != 0x202E &&
                            c != 0x2028)
                    << fault << ": " << text;
            }
        }
    }
}

TEST(NameCase, FoldsAsWindowsDoesOverWhatCodePage932Spells) {
    for (const auto& [a, b] : {std::pair{"first.txt", "FIRST.TXT"},
                               {"ａ.txt", "Ａ.txt"},
                               {"α.txt", "Α.txt"},
                               {"д.txt", "Д.txt"},
                               {"ё", "Ё"},
                               {"ⅰ", "Ⅰ"}}) {
        EXPECT_EQ(FoldNameCase(a), FoldNameCase(b)) << a;
    }
    // Look-alikes are different files to Windows.
    for (const auto& [a, b] : {std::pair{"a", "ａ"}, {"ア", "ｱ"}, {"あ", "ア"}, {"Ⅰ", "I"}}) {
        EXPECT_NE(FoldNameCase(a), FoldNameCase(b)) << a;
    }
    EXPECT_EQ(FoldNameCase("\xff"), "\xff");
    // The table is ordered for its search, and holds only what a package can name.
    uint16_t last = 0;
    std::string ignored;
    for (const auto& pair : NAME_CASE_PAIRS) {
        EXPECT_LT(last, pair.lower);
        last = pair.lower;
        std::string lower, upper;
        AppendUtf8(lower, pair.lower);
        AppendUtf8(upper, pair.upper);
        EXPECT_TRUE(Utf8ToShiftJis(lower, ignored)) << std::hex << pair.lower;
        EXPECT_TRUE(Utf8ToShiftJis(upper, ignored)) << std::hex << pair.upper;
    }
}

TEST(NameTree, RefusesWhatWindowsWouldMergeAcrossFolders) {
    using Clash = NameTree::Clash;
    const struct {
        std::vector<std::string> names;  // UTF-8; the last one is judged
        Clash clash;
    } cases[] = {
        {{"A\\x", "a\\y"}, Clash::folder_spelled_twice},
        {{"d\\ｅ\\x", "d\\Ｅ\\y"}, Clash::folder_spelled_twice},
        {{"a", "A\\y"}, Clash::file_and_folder},
        {{"a\\b\\c", "a\\B"}, Clash::file_and_folder},
        {{"a\\x", "A\\X"}, Clash::folder_spelled_twice},
        {{"a\\x", "a\\X"}, Clash::same_file},
        {{"a\\x", "a\\y", "a\\b\\x", "b\\x", "x"}, Clash::none},
    };
    for (const auto& c : cases) {
        NameTree tree;
        for (size_t i = 0; i + 1 < c.names.size(); ++i) ASSERT_FALSE(tree.Add(c.names[i], c.names[i]));
        const NameTree::Verdict verdict = tree.Add(c.names.back(), c.names.back());
        EXPECT_EQ(verdict.clash, c.clash) << c.names.back();
        if (verdict) {
            EXPECT_EQ(verdict.other, c.names.front());
        }
    }
}
