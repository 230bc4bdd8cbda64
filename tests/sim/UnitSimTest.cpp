// The simulated unit driven through its pty as the tool drives a unit.
#include "LineClient.h"

#include "support/Files.h"
#include "support/Process.h"
#include "support/SimUnit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

const std::string HELP = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";
const std::string TX_ID = "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>";
const std::string RX_ID = "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>";

std::string image(std::size_t length, unsigned seed)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xff);
    return bytes;
}

uint32_t checksum(const std::string &bytes)
{
    uint32_t sum = 0;
    for (char c : bytes)
        sum -= static_cast<unsigned char>(c);
    return sum;
}

std::string announcement(const char *command, const std::string &bytes, uint32_t sum)
{
    return std::string(command) + " " + std::to_string(sum) + " " + std::to_string(bytes.size());
}

class UnitSim : public ::testing::Test {
protected:
    // Starts a unit at `unitBaud` and opens its line at `lineBaud`.
    void start(SimConfig config, int lineBaud)
    {
        config.dir = dir.path();
        sim = std::make_unique<SimUnit>(config);
        line = std::make_unique<LineClient>(sim->linkPath(), lineBaud);
    }
    static SimConfig unit(int baud, std::vector<std::string> faults = {}, std::vector<std::string> extra = {})
    {
        SimConfig c;
        c.baud = baud;
        c.faults = std::move(faults);
        c.extraArgs = std::move(extra);
        return c;
    }

    TempDir dir;
    std::unique_ptr<SimUnit> sim;
    std::unique_ptr<LineClient> line;
};

TEST_F(UnitSim, AnswersTheProbeOnlyAtItsOwnRate)
{
    start(unit(9600), 115200);
    line->command("%help -c version");
    EXPECT_EQ(line->reply(), "");
    line->setBaud(19200);
    line->command("%help -c version");
    EXPECT_EQ(line->reply(), "");
    line->setBaud(9600);
    line->command("%help -c version");
    EXPECT_EQ(line->reply(), HELP);
    ASSERT_EQ(HELP.size(), 74u);
}

TEST_F(UnitSim, ReportsVersionAndIdentityWhateverTheLineEnd)
{
    start(unit(57600, {}, {"--device-code", "3"}), 57600);
    line->send("%%%fw -v\r\n");
    EXPECT_EQ(line->reply(), "61.1.2\r\nXC7A75 1.2 3\r\n>>");
    line->send("%%%fw -p\n");
    EXPECT_EQ(line->reply(), TX_ID);
    line->send("%fw -p\n\r");
    EXPECT_EQ(line->reply(), "") << "a line without the %% prefix is not a command";
}

TEST_F(UnitSim, AnRxUnitAnswersEveryIdentificationRequest)
{
    SimConfig config = unit(9600);
    config.type = "rx";
    start(config, 9600);
    line->command("%fw -v");
    EXPECT_EQ(line->reply(), "61.1.2\r\nXC7A75 1.2 7\r\n>>");
    line->command("%fw -p");
    EXPECT_EQ(line->reply(), RX_ID);
    line->command("%fw -p");
    EXPECT_EQ(line->reply(), RX_ID);
}

TEST_F(UnitSim, TakesBothImagesThenRebootsToItsPrompt)
{
    const std::string logic = image(30000, 1), mcu = image(12345, 2);
    start(unit(9600, {},
               {"--boot-ms", "1000", "--save-fpga", dir.file("logic.bin"), "--save-mcu", dir.file("mcu.bin"),
                "--wire-log", dir.file("wire.log"), "--exit-after-prompt"}),
          9600);

    const std::string logicCommand = announcement("%fw -l", logic, checksum(logic));
    line->command(logicCommand);
    EXPECT_EQ(line->reply(), "Ready");
    line->setBaud(115200);
    ASSERT_TRUE(line->send(logic));
    EXPECT_EQ(line->reply(), "SUCCESS");
    EXPECT_EQ(readFile(dir.file("logic.bin")), logic);

    line->command(announcement("%fw -h", mcu, checksum(mcu)));
    EXPECT_EQ(line->reply(), "Ready");
    ASSERT_TRUE(line->send(mcu));
    EXPECT_EQ(line->reply(milliseconds(100)), "SUCCESS");
    EXPECT_EQ(readFile(dir.file("mcu.bin")), mcu);

    line->setBaud(9600);
    EXPECT_EQ(line->reply(milliseconds(1500)), "[Korvan TX]>>");
    EXPECT_EQ(sim->waitExit(milliseconds(3000)), std::optional<int>(0));
    EXPECT_FALSE(fileExists(sim->linkPath()));

    const std::string sent = "%%" + logicCommand + "\n\r" + logic;
    EXPECT_TRUE(readFile(dir.file("wire.log")).compare(0, sent.size(), sent) == 0)
        << "the wire log holds the framed announcement, then the image";
}

TEST_F(UnitSim, RepliesSentAtAnotherRateThanTheLinesArriveMangled)
{
    start(unit(9600, {}, {"--boot-ms", "500"}), 9600);
    line->command("%fw -l 0 0");
    std::string logic = line->reply(milliseconds(100));
    EXPECT_EQ(logic.size(), 12u);
    EXPECT_EQ(logic.substr(0, 5), "Ready") << "Ready comes at 9600, the verdict on the stream at 115200";
    EXPECT_NE(logic, "ReadySUCCESS");
    line->setBaud(115200);
    line->command("%fw -h 0 0");
    EXPECT_EQ(line->reply(milliseconds(100)), "ReadySUCCESS");
    std::string prompt = line->reply(milliseconds(800));
    EXPECT_EQ(prompt.size(), 13u);
    EXPECT_NE(prompt, "[Korvan TX]>>") << "the prompt comes at 9600";
}

TEST_F(UnitSim, RefusesImagesThatDoNotMatchTheirAnnouncement)
{
    const std::string logic = image(5000, 3);
    start(unit(115200), 115200);
    line->command(announcement("%fw -l", logic, checksum(logic) + 1));
    EXPECT_EQ(line->reply(), "Ready");
    line->send(logic);
    EXPECT_EQ(line->reply(), "ERROR: checksum");

    for (const char *bad : {"%fw -l 1", "%fw -l 1 2 3", "%fw -l x 2", "%fw -l 4294967296 2", "%fw -l 1 -5",
                            "%fw -l 1 4194305"}) {
        line->command(bad);
        EXPECT_EQ(line->reply().compare(0, 6, "ERROR:"), 0) << bad;
    }
}

TEST_F(UnitSim, StreamsAndTheFirmwareAnnouncementCountOnlyAt115200)
{
    const std::string logic = image(3000, 4);
    start(unit(9600), 9600);
    line->command(announcement("%fw -h", logic, checksum(logic)));
    EXPECT_EQ(line->reply(), "");
    line->command(announcement("%fw -l", logic, checksum(logic)));
    EXPECT_EQ(line->reply(), "Ready");
    line->send(logic);
    std::string after = line->reply();
    EXPECT_NE(after, "SUCCESS");
    EXPECT_EQ(after.find("SUCCESS"), std::string::npos);
}

TEST_F(UnitSim, PaceHoldsTheStreamToLineTime)
{
    const std::string logic = image(4608, 5);  // 0.4 s at 115200 baud
    start(unit(115200, {}, {"--pace"}), 115200);
    line->command(announcement("%fw -l", logic, checksum(logic)));
    ASSERT_EQ(line->reply(milliseconds(100)), "Ready");
    auto begin = std::chrono::steady_clock::now();
    line->send(logic);
    std::string reply;
    while (reply.empty() && std::chrono::steady_clock::now() - begin < std::chrono::seconds(3))
        reply = line->reply(milliseconds(20));
    EXPECT_EQ(reply, "SUCCESS");
    EXPECT_GE(std::chrono::steady_clock::now() - begin, milliseconds(380));
}

struct ReplyFault {
    const char *fault;
    const char *command;
    std::string expected;
};

TEST_F(UnitSim, ReplyFaults)
{
    const ReplyFault cases[] = {
        {"short-version", "%fw -v", "61.1.2\r\nXC7A75\r\n>>"},
        {"unknown-id", "%fw -p", "Korvan 6G SDI EXTENDER OVER FIBER\r\n>>"},
        {"trailing-crlf", "%help -c version", HELP + "\r\n"},
        {"nul-in-reply", "%help -c version", HELP.substr(0, 37) + std::string(1, '\0') + HELP.substr(37)},
        {"silent", "%help -c version", ""},
        {"not-ready", "%fw -l 0 0", "ERROR: not ready"},
        {"bad-stream-reply", "%fw -l 0 0", "ReadyERROR: flash write"},
        {"escape-stream-reply", "%fw -l 0 0", "Ready\x1b[2J\x1b[31mERROR: flash\r\nwrite\x07\x1b[0m"},
    };
    for (const ReplyFault &c : cases) {
        TempDir folder;
        SimConfig config = unit(115200, {c.fault});
        config.dir = folder.path();
        SimUnit faulty(config);
        LineClient client(faulty.linkPath(), 115200);
        client.command(c.command);
        EXPECT_EQ(client.reply(), c.expected) << c.fault;
    }
}

TEST_F(UnitSim, FailFirstStreamFailsOnceThenTakesTheImage)
{
    start(unit(115200, {"fail-first-stream"}), 115200);
    line->command("%fw -l 0 0");
    EXPECT_EQ(line->reply(), "ReadyERROR: flash write");
    line->command("%fw -l 0 0");
    EXPECT_EQ(line->reply(), "ReadySUCCESS");
}

TEST_F(UnitSim, SecondTryAndSplitReply)
{
    start(unit(9600, {"second-try", "split-reply"}), 9600);
    line->command("%help -c version");
    EXPECT_EQ(line->reply(), "");
    line->command("%help -c version");
    std::string first = line->reply(milliseconds(50));
    EXPECT_EQ(first, HELP.substr(0, 37));
    EXPECT_EQ(first + line->reply(), HELP);
}

TEST_F(UnitSim, BadAndMissingPrompt)
{
    for (const char *fault : {"bad-prompt", "no-prompt"}) {
        TempDir folder;
        SimConfig config = unit(115200, {fault}, {"--boot-ms", "50"});
        config.dir = folder.path();
        SimUnit faulty(config);
        LineClient client(faulty.linkPath(), 115200);
        client.command("%fw -l 0 0");
        client.reply(milliseconds(50));
        client.command("%fw -h 0 0");
        EXPECT_EQ(client.reply(milliseconds(400)), std::string("ReadySUCCESS") + (fault[0] == 'b' ? "[Korvan TX]>" : ""))
            << fault;
    }
}

TEST_F(UnitSim, HangupMidStreamTakesTheLineAway)
{
    const std::string logic = image(8000, 6);
    start(unit(115200, {"hangup-mid-stream"}), 115200);
    line->command(announcement("%fw -l", logic, checksum(logic)));
    ASSERT_EQ(line->reply(milliseconds(100)), "Ready");
    line->send(logic);
    EXPECT_EQ(sim->waitExit(milliseconds(2000)), std::optional<int>(0));
    EXPECT_FALSE(fileExists(sim->linkPath()));
    EXPECT_FALSE(line->send(logic));
}

// Half the image is read, the rest stays in the pty: no verdict comes. The
// unread half is kept below what any pty holds, so the whole image is sent.
TEST_F(UnitSim, StopReadingMidStreamLeavesTheRestOnTheLine)
{
    const std::string logic = image(7000, 7);
    start(unit(115200, {"stop-reading-mid-stream"}, {"--wire-log", dir.file("wire.log")}), 115200);
    const std::string command = announcement("%fw -l", logic, checksum(logic));
    line->command(command);
    ASSERT_EQ(line->reply(milliseconds(100)), "Ready");
    ASSERT_TRUE(line->send(logic));
    EXPECT_EQ(line->reply(milliseconds(300)), "");
    const std::string read = "%%" + command + "\n\r" + logic.substr(0, logic.size() / 2);
    EXPECT_TRUE(readFile(dir.file("wire.log")) == read) << "the unit read exactly the first half";
}

TEST_F(UnitSim, DripSendsOneByteAtATimeAndAnswersNothing)
{
    start(unit(115200, {"drip"}), 115200);
    line->command("%help -c version");
    // What dripped before the line was opened waits in the pty.
    std::string dripped = line->reply(milliseconds(150));
    for (int i = 0; i < 50 && dripped.size() < 4; ++i) {
        std::string piece = line->reply(milliseconds(150));
        EXPECT_LE(piece.size(), 1u) << "bytes come one at a time";
        dripped += piece;
    }
    EXPECT_EQ(dripped, "0123");
}

TEST_F(UnitSim, FloodNeverFallsSilentWhileRead)
{
    start(unit(115200, {"flood"}), 115200);
    line->command("%fw -v");
    std::string flood;
    auto begin = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begin < milliseconds(300))
        flood += line->reply(milliseconds(1));
    EXPECT_GT(flood.size(), 100000u);
    EXPECT_EQ(flood.find('%'), std::string::npos);

    line.reset();
    usleep(1500 * 1000);
    LineClient again(sim->linkPath(), 115200);
    EXPECT_LT(again.reply(milliseconds(200)).size(), 100000u) << "the flood stops once the line stops taking it";
}

TEST_F(UnitSim, ReplacesAStaleLinkAndRemovesItsOwn)
{
    const std::string link = dir.file("com4");
    ASSERT_EQ(symlink("/nonexistent/pts", link.c_str()), 0);
    SimConfig config = unit(9600);
    config.com = 4;
    start(config, 9600);
    line->command("%help -c version");
    EXPECT_EQ(line->reply(), HELP);
    EXPECT_EQ(sim->stop(), 0);
    EXPECT_FALSE(fileExists(link));

    writeFile(link, "not a link");
    ProcessResult refused = runProcess({UNIT_SIM_PATH, "--dir", dir.path(), "--com", "4"}, {}, std::nullopt,
                                       std::chrono::seconds(5));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(readFile(link), "not a link");
}

TEST(UnitSimCommandLine, HelpDocumentsEveryOptionAndFault)
{
    ProcessResult help = runProcess({UNIT_SIM_PATH, "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char *word :
         {"--dir", "RAVELIN_COM_DIR", "--com", "--baud", "--type", "--device-code", "--boot-ms", "--save-fpga",
          "--save-mcu", "--pace", "--wire-log", "--exit-after-prompt", "--ready-file", "--fault", "--verbose",
          "silent", "short-version", "unknown-id", "not-ready", "bad-stream-reply", "hangup-mid-stream", "flood",
          "no-prompt", "bad-prompt", "second-try", "split-reply", "trailing-crlf", "nul-in-reply", "drip",
          "stop-reading-mid-stream", "escape-stream-reply", "fail-first-stream"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST(UnitSimCommandLine, BadCommandLinesExitWithStatus2)
{
    TempDir dir;
    const std::vector<std::vector<std::string>> bad = {
        {"--dir", dir.path(), "--bogus"},       {"--dir", dir.path(), "--fault", "gremlins"},
        {"--dir", dir.path(), "--baud", "1234"}, {"--dir", dir.path(), "--com", "0"},
        {"--dir", dir.path(), "--type", "tv"},   {"--dir", dir.path(), "--com"},
        {"--com", "3"},
    };
    for (const std::vector<std::string> &args : bad) {
        std::vector<std::string> argv = {UNIT_SIM_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessResult r = runProcess(argv, {{"RAVELIN_COM_DIR", ""}}, std::nullopt, std::chrono::seconds(5));
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find("unit-sim: "), std::string::npos) << args.back();
    }
}

}  // namespace
