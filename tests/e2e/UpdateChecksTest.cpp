// The checks around an update, through the tool against simulated units:
// the versions asked again after the reboot, a unit that restarts on its old
// versions, and --if-needed leaving current and newer units alone (read off
// what the unit received).
#include "e2e/UpdateRun.h"
#include "support/Files.h"

#include "ProgressEvent.h"
#include "RavelinFwUpgrade.h"

using namespace std::chrono_literals;

namespace {

const std::string kProbe = "%%%help -c version\n\r";
const std::string kVersionQuery = "%%%fw -v\n\r";
const std::string kIdQuery = "%%%fw -p\n\r";
const std::string kCarried = "61.01.02, XC7A75 1.02";

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class UpdateChecks : public UpdateRun {
protected:
    // A TX unit on COM1 at 115200 with `extra` unit-sim options, whose every
    // received byte lands in wire().
    void startUnitOnCom1(std::vector<std::string> extra)
    {
        ++started_;
        SimConfig config;
        config.extraArgs = std::move(extra);
        config.extraArgs.insert(config.extraArgs.end(), {"--wire-log", wire()});
        startUnit(config);
    }
    std::string wire() const { return logs_.file("wire" + std::to_string(started_)); }
    // What the unit received once it has stopped, so that nothing is in flight.
    std::string received()
    {
        unit->stop();
        return fileExists(wire()) ? readFile(wire()) : "";
    }

private:
    TempDir logs_;
    int started_ = 0;  // each unit logs to a file of its own
};

}  // namespace

TEST_F(UpdateChecks, VersionsAreCheckedAfterTheRebootAndAUnitOnItsOldVersionsFailsWithStatusFour)
{
    // --verify on the plain run: one more line before the success line.
    SimConfig config;
    config.com = 3;
    config.baud = 9600;
    startUnit(config);
    ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--verify"}, 120s);
    expectRun(run, EXIT_UPDATED,
              banner() + discovered(3, 9600) + updateSteps(UnitType::Tx) + versionsAfterLine(kCarried, true) +
                  successLine() + exitPrompt());
    expectImagesReceived(CATALOGUE_TX_LOGIC);

    // An outdated unit whose new firmware did not take: the unattended run
    // verifies by itself, names both sets of versions and says no success.
    config.extraArgs = {"--mcu-version", "61.1.1", "--fault", "keep-versions"};
    startUnit(config);
    run = runToolWith(ToolBuild::QuickBoot, {"--port", "3", "--no-wait"}, 120s);
    EXPECT_EQ(run.status, EXIT_NOT_VERIFIED);
    EXPECT_EQ(run.err, "");
    expectImagesReceived(CATALOGUE_TX_LOGIC);
    const std::string tail = versionsAfterLine("61.01.01, XC7A75 1.02", false) +
                             "ERROR: the unit restarted but does not run the carried versions: it runs 61.01.01, "
                             "XC7A75 1.02, this tool carries " + kCarried + ".\r\n" +
                             "\n\rERROR: The unit restarted but does not run the carried versions.\r\n\r\n";
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(firstDifference(tail, run.out.substr(run.out.size() - tail.size())), "");
    EXPECT_TRUE(contains(run.out, "Checking firmware version ..............  61.01.01 \r\n"));
    EXPECT_FALSE(contains(run.out, "The update was successful"));
}

TEST_F(UpdateChecks, IfNeededLeavesCurrentAndNewerUnitsAloneAndAllowOlderInstallsAnyway)
{
    // A current unit: asked for its versions and identity, then nothing more.
    startUnitOnCom1({});
    ProcessResult run = runToolWith(ToolBuild::QuickBoot, {"--if-needed"}, 60s);
    expectRun(run, EXIT_UPDATED,
              banner() + discovered(1, 115200) + versionLines(simVersion()) + productCheck() +
                  identified(UnitType::Tx) + nothingToDo() + exitPrompt());
    EXPECT_EQ(received(), kProbe + kVersionQuery + kIdQuery) << "an announcement or an image reached the unit";

    // A unit with newer logic is left alone, and says how to go back.
    startUnitOnCom1({"--logic-version", "1.3"});
    run = runToolWith(ToolBuild::QuickBoot, {"--if-needed", "--no-wait"}, 60s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_TRUE(contains(run.out, "\r\nLeft alone: the unit runs 61.01.02, XC7A75 1.03, newer than the carried "
                                  "versions " + kCarried + " (--allow-older installs them).\r\n"))
        << run.out;
    EXPECT_FALSE(contains(run.out, "Preparing to Upload"));
    EXPECT_EQ(received(), kProbe + kVersionQuery + kIdQuery);

    // --allow-older installs the carried versions on it, and the run for a
    // program ends verified, with the versions before and after.
    startUnitOnCom1({"--logic-version", "1.3"});
    run = runToolWith(ToolBuild::QuickBoot, {"--if-needed", "--allow-older", "--progress", "json"}, 120s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    expectImagesReceived(CATALOGUE_TX_LOGIC);
    const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    EXPECT_EQ(last, "{\"port\":\"COM1\",\"baud\":115200,\"type\":\"TX\",\"versions\":{\"mcu\":\"61.01.02\",\"logic\":"
                    "\"XC7A75 1.03\",\"device\":7},\"versions_after\":{\"mcu\":\"61.01.02\",\"logic\":\"XC7A75 "
                    "1.02\",\"device\":7},\"verified\":true,\"step\":\"done\",\"result\":\"updated\"}\n");
    const std::string sent = received();
    EXPECT_TRUE(contains(sent, "%%%fw -l ") && contains(sent, "%%%fw -h ")) << "no announcement reached the unit";
    // After the reboot the versions and the identity are asked for again.
    EXPECT_EQ(sent.substr(sent.size() - kVersionQuery.size() - kIdQuery.size()), kVersionQuery + kIdQuery);
}
