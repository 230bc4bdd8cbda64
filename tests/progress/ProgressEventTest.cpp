// Progress events: what a run writes reads back the same, and the reader
// that the --all parent uses on its children's lines refuses anything that
// is not an event, without touching what it was given.
#include "ProgressEvent.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ProgressEvent fullEvent()
{
    ProgressEvent event;
    event.port = "COM12";
    event.baud = 57600;
    event.unitType = "RX";
    event.versionsKnown = true;
    event.mcuVersion = "61.01.02";
    event.logicVersion = "XC7A75 1.02";
    event.deviceCode = 7;
    event.step = ProgressStep::Failed;
    event.during = ProgressStep::Firmware;
    event.percent = 100;
    event.result = ProgressResult::Failed;
    event.message = "the unit answered \"ERROR: flash write\r\n>>\" instead of \"SUCCESS\"";
    return event;
}

void expectSame(const ProgressEvent &a, const ProgressEvent &b)
{
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.baud, b.baud);
    EXPECT_EQ(a.step, b.step);
    EXPECT_EQ(a.percent, b.percent);
    EXPECT_EQ(a.unitType, b.unitType);
    EXPECT_EQ(a.versionsKnown, b.versionsKnown);
    EXPECT_EQ(a.mcuVersion, b.mcuVersion);
    EXPECT_EQ(a.logicVersion, b.logicVersion);
    EXPECT_EQ(a.deviceCode, b.deviceCode);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.during, b.during);
    EXPECT_EQ(a.upToDate, b.upToDate);
    EXPECT_EQ(a.newerThanCarried, b.newerThanCarried);
    EXPECT_EQ(a.message, b.message);
    EXPECT_EQ(a.versionsAfterKnown, b.versionsAfterKnown);
    EXPECT_EQ(a.mcuVersionAfter, b.mcuVersionAfter);
    EXPECT_EQ(a.logicVersionAfter, b.logicVersionAfter);
    EXPECT_EQ(a.deviceCodeAfter, b.deviceCodeAfter);
    EXPECT_EQ(a.verified, b.verified);
    EXPECT_EQ(a.notSupported, b.notSupported);
    EXPECT_EQ(a.attempt, b.attempt);
}

ProgressEvent readBack(const std::string &line)
{
    ProgressEvent event;
    EXPECT_TRUE(parseProgressEvent(line, event)) << line;
    return event;
}

}  // namespace

TEST(ProgressEvent, EventsAreOneLineThatReadsBackTheSame)
{
    const ProgressEvent failed = fullEvent();
    const std::string line = formatProgressEvent(failed);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    expectSame(failed, readBack(line));

    ProgressEvent identified;
    identified.port = "COM1";
    identified.baud = 1200;
    identified.step = ProgressStep::Done;
    identified.result = ProgressResult::Identified;
    identified.upToDate = true;
    expectSame(identified, readBack(formatProgressEvent(identified)));
    ProgressEvent newer = identified;
    newer.upToDate = false;
    newer.newerThanCarried = true;
    expectSame(newer, readBack(formatProgressEvent(newer)));
    ProgressEvent unsupported = failed;
    unsupported.notSupported = true;
    unsupported.message = "unknown product: device code 9";
    unsupported.attempt = 3;
    expectSame(unsupported, readBack(formatProgressEvent(unsupported)));

    // Windows writes the line end as CR LF.
    expectSame(identified, readBack(formatProgressEvent(identified) + "\r"));

    // A unit that restarted on its old versions: what it reported after the
    // reboot comes behind what it reported before, then the verdict.
    ProgressEvent unverified = fullEvent();
    unverified.during = ProgressStep::Verifying;
    unverified.percent = -1;
    unverified.result = ProgressResult::NotVerified;
    unverified.versionsAfterKnown = true;
    unverified.mcuVersionAfter = "61.01.01";
    unverified.logicVersionAfter = "XC7A75 1.02";
    unverified.deviceCodeAfter = 7;
    unverified.verified = false;
    unverified.message = "the unit restarted but does not run the carried versions";
    const std::string unverifiedLine = formatProgressEvent(unverified);
    expectSame(unverified, readBack(unverifiedLine));
    EXPECT_EQ(unverifiedLine.substr(unverifiedLine.find("\"versions_after\"")),
              "\"versions_after\":{\"mcu\":\"61.01.01\",\"logic\":\"XC7A75 1.02\",\"device\":7},\"verified\":false,"
              "\"step\":\"failed\",\"during\":\"verifying\",\"result\":\"not-verified\",\"message\":\"the unit "
              "restarted but does not run the carried versions\"}");
    for (const ProgressResult leftAlone : {ProgressResult::UpToDate, ProgressResult::Newer}) {
        ProgressEvent done;
        done.step = ProgressStep::Done;
        done.result = leftAlone;
        expectSame(done, readBack(formatProgressEvent(done)));
    }
    ProgressEvent untouched = identified;
    EXPECT_FALSE(parseProgressEvent("{\"step\":\"done\",\"verified\":\"yes\"}", untouched));
    EXPECT_FALSE(parseProgressEvent("{\"step\":\"done\",\"versions_after\":[]}", untouched));
    expectSame(identified, untouched);
}

TEST(ProgressEvent, WritesTheDocumentedMembersInOrderAndLeavesOutWhatIsNotKnown)
{
    ProgressEvent searching;
    EXPECT_EQ(formatProgressEvent(searching), "{\"step\":\"searching\"}");

    ProgressEvent logic;
    logic.port = "COM3";
    logic.baud = 9600;
    logic.unitType = "TX";
    logic.versionsKnown = true;
    logic.mcuVersion = "61.01.02";
    logic.logicVersion = "XC7A75 1.02";
    logic.deviceCode = 7;
    logic.step = ProgressStep::Logic;
    logic.percent = 45;
    EXPECT_EQ(formatProgressEvent(logic),
              "{\"port\":\"COM3\",\"baud\":9600,\"type\":\"TX\",\"versions\":{\"mcu\":\"61.01.02\",\"logic\":"
              "\"XC7A75 1.02\",\"device\":7},\"step\":\"logic\",\"percent\":45}");

    EXPECT_EQ(formatProgressEvent(fullEvent()).substr(formatProgressEvent(fullEvent()).find("\"step\"")),
              "\"step\":\"failed\",\"during\":\"firmware\",\"percent\":100,\"result\":\"failed\",\"message\":"
              "\"the unit answered \\\"ERROR: flash write\\r\\n>>\\\" instead of \\\"SUCCESS\\\"\"}");
}

TEST(ProgressEvent, AReplyThatIsNotUtf8StillMakesAnEventThatReads)
{
    ProgressEvent event = fullEvent();
    event.message = std::string("garbled \xff\xfe\x1b[2J reply");
    const ProgressEvent read = readBack(formatProgressEvent(event));
    EXPECT_EQ(read.message.find('\xff'), std::string::npos);
    EXPECT_NE(read.message.find("\x1b[2J reply"), std::string::npos);
}

TEST(ProgressEvent, UnknownMembersArePassedOver)
{
    const ProgressEvent read = readBack("{\"step\":\"rebooting\",\"percent\":97,\"eta\":[1,2],\"x\":{}}");
    EXPECT_EQ(read.step, ProgressStep::Rebooting);
    EXPECT_EQ(read.percent, 97);
}

TEST(ProgressEvent, LinesThatAreNotEventsAreRefusedAndLeaveTheEventAlone)
{
    const char *const refused[] = {
        "",
        "ERROR: Opening COM3 failed !",
        "{\"step\":\"logic\"",
        "[{\"step\":\"logic\"}]",
        "\"step\"",
        "{}",
        "{\"port\":\"COM1\"}",
        "{\"step\":\"flashing\"}",
        "{\"step\":3}",
        "{\"step\":\"logic\",\"percent\":101}",
        "{\"step\":\"logic\",\"percent\":-1}",
        "{\"step\":\"logic\",\"percent\":4.5}",
        "{\"step\":\"logic\",\"percent\":1e2}",
        "{\"step\":\"logic\",\"percent\":\"45\"}",
        "{\"step\":\"logic\",\"baud\":-9600}",
        "{\"step\":\"logic\",\"baud\":4294967296}",
        "{\"step\":\"logic\",\"baud\":18446744073709551616}",
        "{\"step\":\"logic\",\"port\":3}",
        "{\"step\":\"logic\",\"port\":null}",
        "{\"step\":\"done\",\"result\":\"fine\"}",
        "{\"step\":\"done\",\"result\":\"\"}",
        "{\"step\":\"failed\",\"during\":\"lunch\"}",
        "{\"step\":\"done\",\"up_to_date\":1}",
        "{\"step\":\"logic\",\"versions\":\"61.01.02\"}",
        "{\"step\":\"logic\",\"versions\":{\"device\":\"7\"}}",
        "{\"step\":\"logic\"} trailing",
        "{\"step\":\"logic\"}\n{\"step\":\"firmware\"}",
        "{\"step\":\"logic\",\"message\":\"\xff\"}",
    };
    for (const char *line : refused) {
        ProgressEvent event = fullEvent();
        EXPECT_FALSE(parseProgressEvent(line, event)) << line;
        expectSame(fullEvent(), event);
    }
    ProgressEvent event = fullEvent();
    EXPECT_FALSE(parseProgressEvent(std::string("{\"step\":\"logic\"}\0", 17), event));
}

TEST(ProgressEvent, LinesAreCutAsTheyArriveAndOverlongOnesAreDroppedWhole)
{
    ProgressLineReader reader(8);
    EXPECT_TRUE(reader.take("ab").empty());
    EXPECT_EQ(reader.take("c\nde\n\nf"), (std::vector<std::string>{"abc", "de", ""}));
    EXPECT_TRUE(reader.take("12345678\n").empty()) << "f and 8 bytes are one too many";
    EXPECT_EQ(reader.take("12345678\n"), (std::vector<std::string>{"12345678"}));
    EXPECT_TRUE(reader.take("123456789").empty());
    EXPECT_TRUE(reader.take("more of the same long line").empty());
    EXPECT_EQ(reader.take("\nok\n"), (std::vector<std::string>{"ok"}));
    EXPECT_TRUE(reader.take("last").empty());
    EXPECT_EQ(reader.rest(), "last");
    EXPECT_EQ(reader.rest(), "");
    EXPECT_TRUE(reader.take("0123456789").empty());
    EXPECT_EQ(reader.rest(), "") << "a dropped line is not given back at the end";
}
