// --progress json on a single unit's run: stdout is events and nothing else,
// they follow the update step by step, and the last one says how it ended.
#include "rack/RackRun.h"

#include "e2e/UpdateRun.h"

#include "ProgressEvent.h"

using namespace std::chrono_literals;

namespace {

std::vector<ProgressEvent> eventsOf(const ProcessResult &run)
{
    std::vector<ProgressEvent> events;
    for (const std::string &line : linesOf(run.out)) {
        ProgressEvent event;
        EXPECT_TRUE(parseProgressEvent(line, event)) << "not an event: " << line;
        events.push_back(event);
    }
    return events;
}

}  // namespace

TEST_F(RackRun, JsonProgressFollowsAWholeUpdate)
{
    addUnit(1, 57600, UnitType::Rx);
    const ProcessResult run = runProcess(toolCommand({"--progress", "json"}), toolEnvironment(), std::nullopt, 150s);
    EXPECT_EQ(run.status, EXIT_UPDATED);
    EXPECT_EQ(run.err, "");
    expectImagesReceived(1, UnitType::Rx);

    const std::vector<ProgressEvent> events = eventsOf(run);
    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(events.front().step, ProgressStep::Searching);
    EXPECT_EQ(events.front().port, "") << "the whole scan is searched";
    EXPECT_EQ(events[1].step, ProgressStep::Checking);
    EXPECT_EQ(events[1].port, "COM1");
    EXPECT_EQ(events[1].baud, 57600);

    // Steps in order, each percentage growing to 100, the unit known before
    // its first image.
    const std::vector<ProgressStep> order = {ProgressStep::Searching, ProgressStep::Checking, ProgressStep::Logic,
                                             ProgressStep::Firmware, ProgressStep::Rebooting, ProgressStep::Verifying,
                                             ProgressStep::Done};
    size_t at = 0;
    int percent = -1;
    for (size_t i = 0; i < events.size(); ++i) {
        const ProgressEvent &event = events[i];
        if (event.step != order[at]) {
            EXPECT_TRUE(at == 0 || order[at] == ProgressStep::Checking || order[at] == ProgressStep::Verifying ||
                        order[at] == ProgressStep::Done || percent == 100)
                << "left " << progressStepName(order[at]) << " at " << percent << "%";
            while (at < order.size() && order[at] != event.step)
                ++at;
            ASSERT_LT(at, order.size()) << "step out of order in event " << i;
            percent = -1;
        }
        EXPECT_GE(event.percent, percent) << "event " << i;
        percent = event.percent;
        if (event.step == ProgressStep::Logic) {
            EXPECT_EQ(event.unitType, "RX");
            EXPECT_TRUE(event.versionsKnown);
            EXPECT_EQ(event.mcuVersion, "61.01.02");
            EXPECT_EQ(event.logicVersion, "XC7A75 1.02");
            EXPECT_EQ(event.deviceCode, 7);
        }
    }
    EXPECT_EQ(at, order.size() - 1);
    EXPECT_EQ(events.back().result, ProgressResult::Updated);
    EXPECT_EQ(events.back().message, "");
    // Nobody watches a run for a program: the versions after the reboot are checked.
    EXPECT_EQ(events.back().verified, std::optional<bool>(true));
    EXPECT_EQ(events.back().mcuVersionAfter, "61.01.02");
    EXPECT_EQ(events.back().logicVersionAfter, "XC7A75 1.02");
}

TEST_F(RackRun, JsonProgressEndsWithTheResultAndWhy)
{
    // No unit: one port searched, nothing else happens.
    const ProcessResult none =
        runProcess(toolCommand({"--port", "4", "--progress", "json"}), toolEnvironment(), std::nullopt, 30s);
    EXPECT_EQ(none.status, EXIT_UPDATE_FAILED);
    EXPECT_EQ(none.out, "{\"port\":\"COM4\",\"step\":\"searching\"}\n"
                        "{\"port\":\"COM4\",\"step\":\"failed\",\"during\":\"searching\",\"result\":\"not-found\","
                        "\"message\":\"no unit answered on COM4\"}\n");

    // A unit of another device code is turned away while being checked.
    addUnit(4, 2400, UnitType::Tx, {}, {"--device-code", "3"});
    const ProcessResult refused =
        runProcess(toolCommand({"--port", "4", "--progress", "json"}), toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(refused.status, EXIT_UPDATE_FAILED);
    const std::vector<ProgressEvent> events = eventsOf(refused);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().step, ProgressStep::Failed);
    EXPECT_EQ(events.back().during, ProgressStep::Checking);
    EXPECT_EQ(events.back().result, ProgressResult::Failed);
    EXPECT_EQ(events.back().message, "unknown product: device code 3");
    EXPECT_EQ(events.back().baud, 2400);

    // The identification ends with what it found.
    units.clear();
    addUnit(4, 9600, UnitType::Rx);
    const ProcessResult info = runProcess(toolCommand({"--info", "--port", "4", "--progress", "json"}),
                                          toolEnvironment(), std::nullopt, 60s);
    EXPECT_EQ(info.status, EXIT_UPDATED);
    EXPECT_EQ(linesOf(info.out).back(),
              "{\"port\":\"COM4\",\"baud\":9600,\"type\":\"RX\",\"versions\":{\"mcu\":\"61.01.02\",\"logic\":"
              "\"XC7A75 1.02\",\"device\":7},\"step\":\"done\",\"result\":\"identified\",\"up_to_date\":true,"
              "\"newer_than_carried\":false}");
}
