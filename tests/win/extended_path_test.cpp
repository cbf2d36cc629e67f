// The "\\?\" form that lifts MAX_PATH: built natively, since Wine enforces no limit to test it by.
#include "win/extended_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExtendedLengthPath, PrefixesDrivesAndSharesOnly) {
    const struct {
        const char* full;
        const char* extended;
    } cases[] = {
        {"C:\\out\\a.txt", "\\\\?\\C:\\out\\a.txt"},
        {"z:\\", "\\\\?\\z:\\"},
        {"\\\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x"},
        {"\\\\?\\C:\\already", "\\\\?\\C:\\already"},
        {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
        {"relative\\x", "relative\\x"},
        {"C:relative", "C:relative"},
        {"\\rooted", "\\rooted"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtendedLengthPath(std::string_view(c.full)), c.extended) << c.full;
    }
    // The same in UTF-16, as the W functions take it.
    EXPECT_EQ(ExtendedLengthPath(std::u16string_view(u"C:\\Zo\u00EB \u738B")),
              u"\\\\?\\C:\\Zo\u00EB \u738B");
}

}  // namespace
