// The unit asked again after its reboot: a unit slow to answer there is
// given the time, a silent one is said to be silent, and what it reports is
// compared whole (device code and identification beside the versions).
#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

namespace {

const std::string kCarried = "61.01.02, XC7A75 1.02";

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The run's last JSON event, without its line end.
std::string lastEvent(const std::string &out)
{
    const size_t end = out.size() > 1 ? out.rfind('\n', out.size() - 2) : std::string::npos;
    return out.substr(end == std::string::npos ? 0 : end + 1);
}

class AfterReboot : public UpdateRun {
protected:
    ProcessResult updateUnit(std::vector<std::string> unitOptions, std::vector<std::string> toolOptions)
    {
        SimConfig config;
        config.extraArgs = std::move(unitOptions);
        startUnit(config);
        return runToolWith(ToolBuild::QuickBoot, toolOptions, 120s);
    }
};

}  // namespace

TEST_F(AfterReboot, ALateUnitIsVerifiedASilentOneIsNamedSilent)
{
    // Each reply 1.5 s late: more than one read window of the update's own
    // queries, well inside the bound of the check after the reboot.
    ProcessResult run = updateUnit({"--reply-delay-after-reboot-ms", "1500"}, {"--verify"});
    expectRun(run, EXIT_UPDATED,
              banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + versionsAfterLine(kCarried, true) +
                  successLine() + exitPrompt());
    expectImagesReceived(CATALOGUE_TX_LOGIC);

    // The prompt, and then nothing: not a unit on other versions.
    run = updateUnit({"--silent-after-reboot"}, {"--no-wait"});
    EXPECT_EQ(run.status, EXIT_NOT_VERIFIED);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(contains(run.out, "ERROR: the unit did not answer its version query after the reboot.\r\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "does not run the carried versions")) << run.out;
    EXPECT_FALSE(contains(run.out, "it runs")) << run.out;
    EXPECT_FALSE(contains(run.out, "The update was successful")) << run.out;

    run = updateUnit({"--silent-after-reboot"}, {"--progress", "json"});
    EXPECT_EQ(run.status, EXIT_NOT_VERIFIED);
    EXPECT_TRUE(contains(run.out, "\"message\":\"the unit did not answer its version query after the reboot\""))
        << run.out;
    EXPECT_TRUE(contains(lastEvent(run.out), "\"result\":\"not-verified\"")) << run.out;
}

TEST_F(AfterReboot, AnotherDeviceCodeOrIdentityAfterTheRebootFailsTheCheck)
{
    // The carried versions, on a logic device this tool has no image for.
    ProcessResult run = updateUnit({"--device-code-after", "9"}, {"--no-wait"});
    EXPECT_EQ(run.status, EXIT_NOT_VERIFIED);
    EXPECT_TRUE(contains(run.out, "device code 9")) << run.out;
    EXPECT_FALSE(contains(run.out, "The update was successful")) << run.out;

    // Another model word with the right device code fails it too.
    run = updateUnit({"--model-after", "XC7A50"}, {"--verify", "--no-wait"});
    EXPECT_EQ(run.status, EXIT_NOT_VERIFIED);
    EXPECT_TRUE(contains(run.out, "XC7A50")) << run.out;
    EXPECT_FALSE(contains(run.out, "The update was successful")) << run.out;
}
