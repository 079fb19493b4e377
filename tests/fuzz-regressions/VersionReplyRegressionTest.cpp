#include <gtest/gtest.h>

#include "LumivaneFwUpgrade.h"

// Replies without a single field: sscanf answers EOF (-1) for them, which is no count of
// fields read.
TEST(VersionReplyRegression, AReplyWithoutAnyFieldCountsNoField)
{
    for (const char *reply : {"", " ", "\r\n"}) {
        VersionReply version;
        EXPECT_EQ(0, parseVersionReply(reply, &version)) << '"' << reply << '"';
        EXPECT_EQ(-1, version.fpga_type);
        EXPECT_STREQ("", version.model);
    }
}
