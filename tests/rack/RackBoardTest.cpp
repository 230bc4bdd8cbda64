// The --all board: what each row shows, how a terminal's board is redrawn
// in place and how plain output stays short, and the summary table.
#include "RackBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

RackRow row(const std::string &port, int baud, const std::string &type, ProgressStep step, int percent = -1)
{
    RackRow r;
    r.port = port;
    r.state.port = port;
    r.state.baud = baud;
    r.state.unitType = type;
    r.state.step = step;
    r.state.percent = percent;
    return r;
}

RackRow ended(RackRow r, ProgressResult result, ProgressStep during, const std::string &message = "")
{
    r.state.result = result;
    r.state.during = during;
    r.state.step = result == ProgressResult::Updated ? ProgressStep::Done : ProgressStep::Failed;
    r.state.message = message;
    return r;
}

int count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

}  // namespace

TEST(RackBoard, EachRowShowsPortRateTypeAndWhereItIs)
{
    EXPECT_EQ(rackBoardLine(row("COM3", 0, "", ProgressStep::Searching)), "COM3     -       --  searching");
    EXPECT_EQ(rackBoardLine(row("COM3", 9600, "TX", ProgressStep::Logic, 45)), "COM3     9600    TX  logic 45%");
    EXPECT_EQ(rackRowStep(row("COM3", 9600, "RX", ProgressStep::Rebooting, 97)), "rebooting 97%");
    EXPECT_EQ(rackRowStep(row("COM3", 9600, "RX", ProgressStep::Checking)), "checking");

    const RackRow logic = row("COM4", 115200, "TX", ProgressStep::Logic, 100);
    EXPECT_EQ(rackRowStep(ended(logic, ProgressResult::Updated, ProgressStep::Logic)), "done");
    EXPECT_EQ(rackRowStep(ended(row("COM5", 0, "", ProgressStep::Searching), ProgressResult::NotFound,
                                ProgressStep::Searching, "no unit answered on COM5")),
              "no unit");
    EXPECT_EQ(rackRowStep(ended(logic, ProgressResult::Failed, ProgressStep::Logic, "refused")),
              "FAILED during logic 100%: refused");
    EXPECT_EQ(rackRowStep(ended(row("COM4", 9600, "", ProgressStep::Checking), ProgressResult::Failed,
                                ProgressStep::Checking, "unknown product: device code 3")),
              "FAILED during checking: unknown product: device code 3");
    EXPECT_EQ(rackRowStep(ended(row("COM4", 9600, "TX", ProgressStep::Firmware, 40), ProgressResult::Stopped,
                                ProgressStep::Firmware, "stopped by the operator")),
              "STOPPED during firmware 40%");
    RackRow neverStarted = row("COM40", 0, "", ProgressStep::Searching);
    neverStarted.waiting = true;
    EXPECT_EQ(rackRowStep(neverStarted), "waiting");
    EXPECT_EQ(rackRowStep(ended(neverStarted, ProgressResult::Stopped, ProgressStep::Searching,
                                "stopped by the operator before its turn")),
              "STOPPED before its turn");
    EXPECT_EQ(rackRowStep(ended(row("COM4", 9600, "TX", ProgressStep::Rebooting, 100),
                                ProgressResult::NotConfirmed, ProgressStep::Rebooting, "no prompt after the reboot")),
              "NOT CONFIRMED: no prompt after the reboot");
}

TEST(RackBoard, APortColumnHoldsTheLongestDevicePath)
{
    const std::vector<RackRow> rows = {row("COM1", 9600, "TX", ProgressStep::Checking),
                                       row("/dev/ttyUSB10", 115200, "RX", ProgressStep::Logic, 5)};
    EXPECT_EQ(rackPortWidth(rows), 14u);
    RackBoard board(false);
    EXPECT_EQ(board.update(rows), "COM1           9600    TX  checking\n"
                                  "/dev/ttyUSB10  115200  RX  logic 0%\n");
}

TEST(RackBoard, WhatAProcessSentCannotMoveTheCursor)
{
    RackRow r = ended(row("COM\x1b[H", 9600, "T\nX", ProgressStep::Logic, 3), ProgressResult::Failed,
                      ProgressStep::Logic, "the unit answered \"\x1b[2J\r\n>>\"");
    const std::string line = rackBoardLine(r);
    for (const char c : line) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << line;
    }
    EXPECT_NE(line.find("?[2J??" ">>"), std::string::npos) << line;
}

TEST(RackBoard, OnATerminalTheBoardIsRedrawnInPlaceOnlyWhenSomethingChanged)
{
    RackBoard board(true);
    std::vector<RackRow> rows = {row("COM1", 0, "", ProgressStep::Searching),
                                 row("COM2", 0, "", ProgressStep::Searching)};
    const std::string first = board.update(rows);
    EXPECT_EQ(first.find("\x1b["), first.find("\x1b[2K"));  // no cursor movement before the first drawing
    EXPECT_EQ(count(first, "\n"), 2);
    EXPECT_EQ(board.update(rows), "");

    rows[1] = row("COM2", 9600, "RX", ProgressStep::Logic, 1);
    const std::string second = board.update(rows);
    EXPECT_EQ(second.rfind("\x1b[2A", 0), 0u) << "back up over the two lines drawn";
    EXPECT_EQ(count(second, "\r\x1b[2K"), 2);
    EXPECT_NE(second.find("COM2     9600    RX  logic 1%\n"), std::string::npos);

    // A line that would wrap would throw the next redraw off.
    rows[0] = ended(row("COM1", 9600, "TX", ProgressStep::Logic, 100), ProgressResult::Failed, ProgressStep::Logic,
                    std::string(200, 'x'));
    const std::string third = board.update(rows);
    for (size_t start = 0, end; (end = third.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = third.substr(start, end - start);
        const size_t text = line.rfind("\x1b[2K");
        EXPECT_LE(line.size() - (text == std::string::npos ? 0 : text + 4), 79u);
    }
}

TEST(RackBoard, PlainOutputWritesALinePerChangeWithPercentagesInTens)
{
    RackBoard board(false);
    std::vector<RackRow> rows = {row("COM1", 115200, "TX", ProgressStep::Logic, 0),
                                 row("COM2", 0, "", ProgressStep::Searching)};
    EXPECT_EQ(board.update(rows), "COM1     115200  TX  logic 0%\nCOM2     -       --  searching\n");
    for (int percent = 1; percent <= 9; ++percent) {
        rows[0].state.percent = percent;
        EXPECT_EQ(board.update(rows), "");
    }
    rows[0].state.percent = 13;
    EXPECT_EQ(board.update(rows), "COM1     115200  TX  logic 10%\n");
    rows[0].state.percent = 100;
    EXPECT_EQ(board.update(rows), "COM1     115200  TX  logic 100%\n");
    rows[1] = ended(rows[1], ProgressResult::NotFound, ProgressStep::Searching);
    EXPECT_EQ(board.update(rows), "COM2     -       --  no unit\n");
    EXPECT_EQ(board.update(rows).find('\x1b'), std::string::npos);
}

TEST(RackBoard, TheSummaryListsEveryPortAlignedAndThenWhyTheFailedOnesFailed)
{
    RackRow updated = ended(row("COM1", 115200, "TX", ProgressStep::Rebooting, 100), ProgressResult::Updated,
                            ProgressStep::Rebooting);
    updated.state.versionsKnown = true;
    updated.state.mcuVersion = "61.01.02";
    updated.state.logicVersion = "XC7A75 1.02";
    updated.seconds = 245.4;
    updated.traceFile = "RavelinFwUpgrade-COM1-20261208-051838.log";
    updated.state.versionsAfterKnown = true;
    updated.state.mcuVersionAfter = "61.01.03";
    updated.state.logicVersionAfter = "XC7A75 1.03";
    RackRow refused = ended(row("COM12", 9600, "RX", ProgressStep::Logic, 100), ProgressResult::Failed,
                            ProgressStep::Logic, "the unit answered \"ERROR: flash write\" instead of \"SUCCESS\"");
    refused.seconds = 61;
    RackRow silent = ended(row("COM5", 0, "", ProgressStep::Searching), ProgressResult::NotFound,
                           ProgressStep::Searching, "no unit answered on COM5");
    silent.seconds = 6.2;

    EXPECT_EQ(rackSummary({updated, refused, silent}),
              "Port   Type  Versions before        Result   Versions after         Time  Trace\n"
              "COM1   TX    61.01.02, XC7A75 1.02  updated  61.01.03, XC7A75 1.03  4:05  "
              "RavelinFwUpgrade-COM1-20261208-051838.log\n"
              "COM12  RX    -                      FAILED   -                      1:01  -\n"
              "COM5   -     -                      no unit  -                      0:06  -\n"
              "COM12: FAILED during logic 100%: the unit answered \"ERROR: flash write\" instead of \"SUCCESS\"\n");

    // Units left alone say so on the board and in the summary; one that
    // restarted on its old versions shows them and why it counts as not updated.
    RackRow current = ended(row("COM2", 9600, "RX", ProgressStep::Checking), ProgressResult::UpToDate,
                            ProgressStep::Checking);
    RackRow newer = ended(row("COM3", 9600, "TX", ProgressStep::Checking), ProgressResult::Newer,
                          ProgressStep::Checking);
    RackRow unverified = ended(row("COM4", 9600, "TX", ProgressStep::Verifying), ProgressResult::NotVerified,
                               ProgressStep::Verifying, "it runs 61.01.01, XC7A75 1.02");
    unverified.state.versionsAfterKnown = true;
    unverified.state.mcuVersionAfter = "61.01.01";
    unverified.state.logicVersionAfter = "XC7A75 1.02";
    EXPECT_EQ(rackBoardLine(current), "COM2     9600    RX  up to date");
    EXPECT_EQ(rackBoardLine(newer), "COM3     9600    TX  newer than carried");
    EXPECT_EQ(rackBoardLine(unverified), "COM4     9600    TX  NOT VERIFIED: it runs 61.01.01, XC7A75 1.02");
    EXPECT_EQ(rackSummary({current, newer, unverified}),
              "Port  Type  Versions before  Result              Versions after         Time  Trace\n"
              "COM2  RX    -                up to date          -                      0:00  -\n"
              "COM3  TX    -                newer than carried  -                      0:00  -\n"
              "COM4  TX    -                NOT VERIFIED        61.01.01, XC7A75 1.02  0:00  -\n"
              "COM4: NOT VERIFIED: it runs 61.01.01, XC7A75 1.02\n");
}

TEST(RackBoard, TheVerdictCountsTheUnitsFoundAndSucceedsOnlyWhenEachOneIsSettled)
{
    const RackRow searching = row("COM1", 0, "", ProgressStep::Searching);
    const RackRow none = ended(searching, ProgressResult::NotFound, ProgressStep::Searching);
    const RackRow noneOn3 = ended(row("COM3", 0, "", ProgressStep::Searching), ProgressResult::NotFound,
                                  ProgressStep::Searching);
    const RackRow unit = row("COM2", 9600, "TX", ProgressStep::Rebooting, 100);
    const RackRow updated = ended(unit, ProgressResult::Updated, ProgressStep::Rebooting);
    const RackRow current = ended(unit, ProgressResult::UpToDate, ProgressStep::Checking);
    const RackRow newer = ended(unit, ProgressResult::Newer, ProgressStep::Checking);
    const RackRow failed = ended(unit, ProgressResult::Failed, ProgressStep::Logic, "refused");
    const RackRow unconfirmed = ended(unit, ProgressResult::NotConfirmed, ProgressStep::Rebooting);
    const RackRow stopped = ended(unit, ProgressResult::Stopped, ProgressStep::Firmware);
    struct Case {
        std::vector<RackRow> rows;
        bool allInUse;
        const char *message;
        int status;
    };
    const Case cases[] = {
        {{}, true, "\r\nERROR: every serial port found is in use by another program.\r\n", 1},
        {{}, false, "\r\nERROR: no serial port found.\r\n", 1},
        {{none, noneOn3}, true, "\r\nERROR: no unit answered on COM1, COM3.\r\n", 1},
        {{none, updated}, false, "\r\nAll 1 unit was updated.\r\n", 0},
        {{updated, updated, none}, false, "\r\nAll 2 units were updated.\r\n", 0},
        {{current, newer}, false, "\r\nEvery unit found is done: 0 updated, 2 left alone.\r\n", 0},
        {{updated, current, none}, false, "\r\nEvery unit found is done: 1 updated, 1 left alone.\r\n", 0},
        {{failed, none}, false, "\r\nERROR: the unit was not updated.\r\n", 1},
        {{updated, unconfirmed}, false, "\r\nERROR: 1 of 2 units was not updated.\r\n", 1},
        {{current, unconfirmed, stopped}, false, "\r\nERROR: 2 of 3 units were not updated.\r\n", 1},
    };
    for (const Case &c : cases) {
        const RackVerdict verdict = rackVerdict(c.rows, c.allInUse);
        EXPECT_EQ(verdict.message, c.message);
        EXPECT_EQ(verdict.status, c.status) << c.message;
    }
}

namespace {

TEST(RackBoard, InfoVerdictsTriesAndMissingPortsShowOnTheBoardTheSummaryAndTheVerdict)
{
    const RackRow unit = row("COM2", 9600, "TX", ProgressStep::Checking);
    RackRow current = ended(unit, ProgressResult::Identified, ProgressStep::Checking);
    current.state.step = ProgressStep::Done;
    current.state.upToDate = true;
    RackRow outdated = current;
    outdated.state.upToDate = false;
    RackRow newer = current;
    newer.state.upToDate = false;
    newer.state.newerThanCarried = true;
    RackRow unsupported = ended(unit, ProgressResult::Failed, ProgressStep::Checking, "unknown product: device code 9");
    unsupported.state.notSupported = true;
    const RackRow silent = ended(row("COM3", 0, "", ProgressStep::Searching), ProgressResult::NotFound,
                                 ProgressStep::Searching);
    const RackRow missing = ended(row("/dev/ttyUSB7", 0, "", ProgressStep::Searching), ProgressResult::NoSuchPort,
                                  ProgressStep::Searching, "no such port");

    EXPECT_EQ(rackRowStep(current), "up to date");
    EXPECT_EQ(rackRowStep(outdated), "update needed");
    EXPECT_EQ(rackRowStep(newer), "newer than carried");
    EXPECT_EQ(rackRowStep(unsupported), "NOT SUPPORTED: unknown product: device code 9");
    EXPECT_EQ(rackRowStep(missing), "no such port");
    RackRow retried = row("COM1", 0, "", ProgressStep::Searching);
    for (const auto &[attempt, note] : std::vector<std::pair<int, const char *>>{
             {1, "searching"}, {2, "searching (2nd try)"}, {3, "searching (3rd try)"}, {4, "searching (4th try)"}}) {
        retried.attempts = attempt;
        EXPECT_EQ(rackRowStep(retried), note);
    }

    const std::string info = rackInfoSummary({current, outdated, newer, unsupported, silent, missing});
    EXPECT_EQ(info.substr(0, info.find('\n')), "Port          Rate  Type  Versions  Verdict             Time  Trace");
    EXPECT_EQ(count(info, "update needed"), 1);
    EXPECT_EQ(count(info, "not supported"), 1);
    EXPECT_EQ(count(info, "no such port"), 1);
    EXPECT_NE(info.find("\nCOM2: NOT SUPPORTED: unknown product: device code 9\n"), std::string::npos) << info;

    RackRow twice = ended(unit, ProgressResult::Updated, ProgressStep::Rebooting);
    twice.attempts = 2;
    const std::string tried = rackSummary({twice, silent}, true);
    EXPECT_NE(tried.find("  Versions after  Attempts  Time  Trace\n"), std::string::npos) << tried;
    EXPECT_EQ(rackSummary({twice, silent}).find("Attempts"), std::string::npos);

    struct Case {
        std::vector<RackRow> rows;
        const char *message;
        int status;
    };
    const Case cases[] = {
        {{current, outdated, newer, silent, missing}, "\r\nEvery unit found was identified: 1 up to date, 1 update "
                                                      "needed, 1 newer than carried.\r\n", 0},
        {{outdated, outdated}, "\r\nEvery unit found was identified: 2 update needed.\r\n", 0},
        {{current, unsupported, silent}, "\r\nERROR: 1 of 2 units was not identified.\r\n", 1},
        {{unsupported}, "\r\nERROR: the unit was not identified.\r\n", 1},
        {{silent, missing}, "\r\nERROR: no unit answered on COM3, /dev/ttyUSB7.\r\n", 1},
    };
    for (const Case &c : cases) {
        const RackVerdict verdict = rackInfoVerdict(c.rows, false);
        EXPECT_EQ(verdict.message, c.message);
        EXPECT_EQ(verdict.status, c.status) << c.message;
    }
    // A named port that is not there holds no unit for the update either.
    EXPECT_EQ(rackVerdict({twice, missing}, false).status, 0);
}

}  // namespace
