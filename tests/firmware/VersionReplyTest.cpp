#include "VersionReply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ReplyCase {
    const char *text;
    UnitVersions expected;
};

std::string shown(const UnitVersions &v)
{
    return std::to_string(v.fw_ver) + "." + std::to_string(v.fw_rev) + "." + std::to_string(v.fw_sub) + " [" +
           v.model + "] " + std::to_string(v.fpga_ver) + "." + std::to_string(v.fpga_rev) + " " +
           std::to_string(v.fpga_type) + (v.complete ? " complete" : " incomplete");
}

void expectReplies(const ReplyCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(shown(parseVersionReply(cases[i].text)), shown(cases[i].expected)) << "reply \"" << cases[i].text
                                                                                       << "\"";
    }
}

TEST(VersionReply, ReadsTheSevenFieldsAsTheUnitSendsThem)
{
    const ReplyCase cases[] = {
        {"61.1.2\r\nXC7A75 1.2 7\r\n>>", {61, 1, 2, "XC7A75", 1, 2, 7, 1}},
        {"61.1.2 XC7A75 1.2 7 >>", {61, 1, 2, "XC7A75", 1, 2, 7, 1}},
        {"  \t1.0.2\n\nM 0.9\r3 trailing words", {1, 0, 2, "M", 0, 9, 3, 1}},
        {"+1.-2.3 X -4.5 +6", {1, -2, 3, "X", -4, 5, 6, 1}},
        {"2147483647.-2147483648.0 X 0.0 2147483647", {2147483647, -2147483647 - 1, 0, "X", 0, 0, 2147483647, 1}},
        // The model word is held to seven characters; what follows it is
        // where the next number is looked for.
        {"1.2.3 XC7A75T 4.5 7", {1, 2, 3, "XC7A75T", 4, 5, 7, 1}},
        {"1.2.3 ABCDEFG8.5 7", {1, 2, 3, "ABCDEFG", 8, 5, 7, 1}},
    };
    expectReplies(cases, sizeof cases / sizeof cases[0]);
}

TEST(VersionReply, FillsFieldsUpToTheFirstThatDoesNotReadAndIsThenIncomplete)
{
    const ReplyCase cases[] = {
        {"", {0, 0, 0, "", 0, 0, -1, 0}},
        {">>", {0, 0, 0, "", 0, 0, -1, 0}},
        {"61.1", {61, 1, 0, "", 0, 0, -1, 0}},
        {"61.1.2 XC7A75 1.2", {61, 1, 2, "XC7A75", 1, 2, -1, 0}},
        {"61.1.2 XC7A75 1.2 >>", {61, 1, 2, "XC7A75", 1, 2, -1, 0}},
        // No blank before a dot, nor a sign without a digit; a blank after a
        // dot is skipped, as "%d" skips it.
        {"61 .1.2 X 1.2 7", {61, 0, 0, "", 0, 0, -1, 0}},
        {"61. 1.2 X 1.2 7", {61, 1, 2, "X", 1, 2, 7, 1}},
        {"61.1.2 X 1 .2 7", {61, 1, 2, "X", 1, 0, -1, 0}},
        {"-.1.2 X 1.2 7", {0, 0, 0, "", 0, 0, -1, 0}},
        {"1.2.3 ABCDEFGH 4.5 7", {1, 2, 3, "ABCDEFG", 0, 0, -1, 0}},
    };
    expectReplies(cases, sizeof cases / sizeof cases[0]);
}

TEST(VersionReply, ANumberOutsideAnIntIsRefusedNotWrappedRound)
{
    const ReplyCase cases[] = {
        // 4294967303 is 2^32 + 7: wrapped round it would be the supported device.
        {"61.1.2 XC7A75 1.2 4294967303", {61, 1, 2, "XC7A75", 1, 2, -1, 0}},
        {"61.1.2 XC7A75 1.2 2147483648", {61, 1, 2, "XC7A75", 1, 2, -1, 0}},
        {"61.1.2 XC7A75 1.2 -2147483649", {61, 1, 2, "XC7A75", 1, 2, -1, 0}},
        {"99999999999999999999.1.2 X 1.2 7", {0, 0, 0, "", 0, 0, -1, 0}},
        {"61.1.2 XC7A75 1.2 0000000000000000007", {61, 1, 2, "XC7A75", 1, 2, 7, 1}},
    };
    expectReplies(cases, sizeof cases / sizeof cases[0]);
}

}  // namespace
