// The line between a stamped identity the program uses and one it ignores: the same line the
// stamping tool holds to, at each limit's edge.
#include "resources/identity_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(IdentityRules, EachLimitHoldsAtItsEdge) {
    const std::string ok_name = "Quolta";
    struct Case {
        const char* what;
        std::string name, description, version, caption, resource;
        IdentityProblem expected;
    };
    const std::string v = "Ver 1.71";  // 8 bytes
    const Case cases[] = {
        {"the sample", ok_name, "d", v, "SelfUnpack - Quolta", "QUOLTA", IdentityProblem::NONE},
        {"name at 226 with the version", std::string(218, 'n'), "", v, "c", "R",
         IdentityProblem::NONE},
        {"name one over", std::string(219, 'n'), "", v, "c", "R",
         IdentityProblem::NAME_AND_VERSION_TOO_LONG},
        {"caption at 254 with the version", "", "", v, std::string(246, 'c'), "R",
         IdentityProblem::NONE},
        {"caption one over", "", "", v, std::string(247, 'c'), "R",
         IdentityProblem::CAPTION_AND_VERSION_TOO_LONG},
        {"description at 317", "", std::string(317, 'd'), "", "c", "R", IdentityProblem::NONE},
        {"description one over", "", std::string(318, 'd'), "", "c", "R",
         IdentityProblem::DESCRIPTION_TOO_LONG},
        {"resource name with a digit first", "", "", "", "c", "1R",
         IdentityProblem::BAD_RESOURCE_NAME},
        {"resource name with a blank", "", "", "", "c", "A B", IdentityProblem::BAD_RESOURCE_NAME},
        {"empty resource name", "", "", "", "c", "", IdentityProblem::BAD_RESOURCE_NAME},
        {"a lead byte with no trail byte", "Quolta\x93", "", "", "c", "R",
         IdentityProblem::BAD_SHIFT_JIS},
        {"a NUL inside", std::string("Qu\0olta", 7), "", "", "c", "R",
         IdentityProblem::BAD_SHIFT_JIS},
        // 表 ends in 0x5C: a whole character, not a broken one.
        {"a trail byte 0x5C", "\x95\x5C", "", "", "c", "R", IdentityProblem::NONE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckIdentity({c.name, c.description, c.version, c.caption, c.resource}),
                  c.expected)
            << c.what;
    }
}
