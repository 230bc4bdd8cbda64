// A unit whose version reply is hostile or broken: escape sequences in the
// model word, and numbers past the range of an int. The first must reach the
// console only escaped, in the plain run and in --info; the second must never
// be read as a smaller number that happens to be supported or up to date.
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

namespace {

// A screen clear, a BEL and a C1 control: six bytes, a model word of at most seven.
const std::string kHostileModel = "\x1b[2J\x07\x9b";
const std::string kShownModel = "\\x1b[2J\\x07\\x9b";
const std::string kUnreadableVersion = "NOT SUPPORTED: the unit's version reply is not one this tool reads.";

SimConfig unitWith(std::vector<std::string> extraArgs)
{
    SimConfig config;
    config.extraArgs = std::move(extraArgs);
    return config;
}

// Bytes that a terminal would act on: controls other than CR, LF and the
// backspaces of the percentage display, DEL and C1.
bool holdsControls(const std::string &text)
{
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\b') || (c >= 0x7f && c <= 0x9f)) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(UpdateRun, UnitModelReachesTheConsoleEscaped)
{
    // Refused for its device code right after its versions are shown.
    startUnit(unitWith({"--model", kHostileModel, "--device-code", "3"}));
    UnitVersion version = simVersion(3);
    version.model = kShownModel;
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                banner() + discovered(1, 115200) + versionLines(version) + productCheck() + unknownProduct() +
                    exitPrompt(failedVerdict()),
                60s);

    // A backslash is doubled: the BEL and the text after it stay apart.
    unit.reset();
    startUnit(unitWith({"--model", "\x07\\x07"}));
    const ProcessResult info = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
    EXPECT_EQ(info.status, 0);
    EXPECT_FALSE(holdsControls(info.out)) << info.out;
    EXPECT_NE(info.out.find("Programmable logic   : \\x07\\\\x07 1.02\r\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("UPDATE NEEDED"), std::string::npos) << info.out;

    // Updated, since its model is not the carried one, and then shown again
    // by the check after the reboot, which fails for the same reason.
    unit.reset();
    startUnit(unitWith({"--model", kHostileModel}));
    const ProcessResult update = runToolWith(ToolBuild::QuickBoot, {"--port", "1", "--no-wait"}, 90s);
    EXPECT_EQ(update.status, 4) << "the unit does not run the carried versions";
    EXPECT_FALSE(holdsControls(update.out)) << update.out;
    EXPECT_NE(update.out.find("Checking the versions after the update ......  61.01.02, " + kShownModel + " 1.02  FAILED"),
              std::string::npos)
        << update.out;
}

// 4294967303 is 7 past 2^32, 4294967357 is 61 past it: read into an int
// without a range check, they become the supported device code and the
// carried MCU version.
TEST_F(UpdateRun, NumbersPastTheIntRangeAreNotRead)
{
    startUnit(unitWith({"--device-code", "4294967303"}));
    runAndCheck(ToolBuild::QuickBoot, EXIT_UPDATE_FAILED,
                banner() + discovered(1, 115200) + productCheck() + unknownProduct() + exitPrompt(failedVerdict()),
                60s);

    const std::vector<std::vector<std::string>> replies = {
        {"--device-code", "4294967303"},
        {"--device-code", "-4294967289"},
        {"--device-code", "2147483648"},
        {"--mcu-version", "4294967357.1.2"},
        {"--mcu-version", "61.4294967297.2"},
        {"--logic-version", "1.4294967298"},
    };
    for (const std::vector<std::string> &reply : replies) {
        SCOPED_TRACE(reply[0] + " " + reply[1]);
        unit.reset();
        startUnit(unitWith(reply));
        const ProcessResult info = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
        EXPECT_EQ(info.status, EXIT_UPDATE_FAILED);
        EXPECT_NE(info.out.find(kUnreadableVersion), std::string::npos) << info.out;
        EXPECT_EQ(info.out.find("UP TO DATE"), std::string::npos) << info.out;
    }

    // The edges of the range are still numbers.
    unit.reset();
    startUnit(unitWith({"--device-code", "-2147483648"}));
    const ProcessResult info = runToolWith(ToolBuild::QuickBoot, {"--info"}, 60s);
    EXPECT_NE(info.out.find("Device code          : -2147483648\r\n"), std::string::npos) << info.out;
}
