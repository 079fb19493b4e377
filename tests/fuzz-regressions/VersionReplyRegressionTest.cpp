#include <gtest/gtest.h>

#include "LumivaneFwUpgrade.h"

// Replies without a single field read as no version, with nothing set.
TEST(VersionReplyRegression, AReplyWithoutAnyFieldIsNoVersion)
{
    for (const char *reply : {"", " ", "\r\n"}) {
        VersionReply version;
        EXPECT_EQ(0, parseVersionReply(reply, &version)) << '"' << reply << '"';
        EXPECT_EQ(-1, version.fpga_type);
        EXPECT_STREQ("", version.model);
    }
}
