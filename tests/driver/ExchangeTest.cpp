// sendCommand and sendData on a real pseudo-terminal against unit-sim: the
// framing of command lines on the wire, fire and forget, how a reply is
// collected and compared (whole, joined from pieces, cut at a NUL, spoilt by
// a trailing line end, absent, endless, dripping), the percentage display of streams,
// an announced image taken whole or refused for its checksum, a negative
// length, and a peer that vanishes in the middle of a stream.
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "ComPortAPI.h"
#include "DriverSession.h"
#include "RavelinFwUpgrade.h"
#include "support/Files.h"

namespace {

using namespace std::chrono_literals;

const std::string kTxId = VALIDATE_TX_PRODUCT_ID_STRING;
const std::string kHelpReply = DISCOVERY_EXPECTED_REPLY;
const char kMismatchLine[] = "\r\nError: Expected response did  not matched !\r\n";

// Bytes that differ from their neighbours, so that a lost, doubled or shifted
// piece shows, and that never hold "%%", so the unit reads no command in them.
std::vector<uint8_t> streamBytes(std::size_t length)
{
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 % 251);
    }
    return bytes;
}

std::string asText(const std::vector<uint8_t> &bytes) { return std::string(bytes.begin(), bytes.end()); }

// 0 minus the byte sum, modulo 2^32, as the unit checks it.
uint32_t checksumOf(const std::vector<uint8_t> &bytes)
{
    uint32_t sum = 0;
    for (uint8_t b : bytes) {
        sum -= b;
    }
    return sum;
}

std::string announcement(uint32_t checksum, std::size_t length)
{
    return "%fw -l " + std::to_string(checksum) + " " + std::to_string(length);
}

// Runs an exchange that must come back by itself: its result, or nothing
// when it was still running at the limit. The unit is then stopped, which
// fails the line and so frees the call.
std::optional<BOOL> callWithin(std::chrono::seconds limit, SimUnit &unit, const std::function<BOOL()> &exchange)
{
    std::future<BOOL> call = std::async(std::launch::async, exchange);
    const bool finished = call.wait_for(limit) == std::future_status::ready;
    if (!finished) {
        unit.stop();
    }
    const BOOL result = call.get();
    return finished ? std::optional<BOOL>(result) : std::nullopt;
}

class Exchange : public DriverSession {};

TEST_F(Exchange, CommandLinesAreFramedOnTheWire)
{
    SimConfig config = unitAt(1, 115200);
    const std::string wire = withWireLog(config, "wire");
    SimUnit unit(config);
    ASSERT_TRUE(openAt(1, 115200, 200));

    ConsoleCapture console;
    EXPECT_EQ(sendCommand("%fw -v", 0, 0, nullptr), 1);
    EXPECT_EQ(settledWire(wire, 10), "%%%fw -v\n\r");

    EXPECT_EQ(sendCommand("%fw -v", 1, 0, nullptr), 1);
    EXPECT_EQ(settledWire(wire, 18), "%%%fw -v\n\r%fw -v\n\r");
    EXPECT_EQ(console.text(), "");
}

// Without an expected reply nothing is read: the line just sent stays in the
// command buffer, and the unit's answer stays on the line for whoever reads next.
TEST_F(Exchange, FireAndForgetLeavesTheReplyOnTheLine)
{
    SimUnit unit(unitAt(1, 115200));
    ASSERT_TRUE(openAt(1, 115200, 300));
    const std::vector<uint8_t> nothing(1);

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(sendCommand("%fw -p", 0, 0, nullptr), 1);
    EXPECT_STREQ(gDataBuffer, "%%%fw -p\n\r");
    EXPECT_EQ(sendData(nothing.data(), 0, 1, "SUCCESS"), 1);
    EXPECT_LT(msSince(start), 150);
    EXPECT_EQ(console.text(), "1%");

    std::vector<char> reply(256);
    int count = 0;
    ASSERT_EQ(ComPortAPI_ReadCOM(reply.data(), static_cast<int>(reply.size()), &count), 1);
    EXPECT_EQ(std::string(reply.data(), static_cast<std::size_t>(count)), kTxId);
}

TEST_F(Exchange, ReplyIsComparedWhole)
{
    SimUnit unit(unitAt(1, 9600));
    ASSERT_TRUE(openAt(1, 9600, 200));

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, kTxId.c_str()), 1);
    // One window with the reply, one silent window that ends it.
    EXPECT_GE(msSince(start), 400);
    EXPECT_EQ(gDataBuffer[0], '\0');

    const std::string withoutPrompt = kTxId.substr(0, kTxId.size() - 2);
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, withoutPrompt.c_str()), 0);
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, VALIDATE_RX_PRODUCT_ID_STRING), 0);
    // Collected and discarded: no comparison, and nothing left for the next reply.
    EXPECT_EQ(sendCommand("%fw -p", 0, 0, "anything"), 1);
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, kTxId.c_str()), 1);
    EXPECT_EQ(console.text(), "");
}

TEST_F(Exchange, ReplyInTwoPiecesIsJoined)
{
    SimUnit unit(unitAt(1, 115200, {"split-reply"}));
    ASSERT_TRUE(openAt(1, 115200, 300));

    EXPECT_EQ(sendCommand("%fw -p", 0, 1, kTxId.c_str()), 1);
    EXPECT_EQ(gDataBuffer[0], '\0');
}

TEST_F(Exchange, TrailingLineEndIsAMismatch)
{
    SimUnit unit(unitAt(1, 115200, {"trailing-crlf"}));
    ASSERT_TRUE(openAt(1, 115200, 200));

    EXPECT_EQ(sendCommand("%fw -p", 0, 1, kTxId.c_str()), 0);
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, (kTxId + "\r\n").c_str()), 1);
}

// The text behind a NUL in the same read is lost, so the reply compared is
// the first half of the help text.
TEST_F(Exchange, NulInReplyCutsThatRead)
{
    SimUnit unit(unitAt(1, 115200, {"nul-in-reply"}));
    ASSERT_TRUE(openAt(1, 115200, 200));

    EXPECT_EQ(sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, kHelpReply.c_str()), 0);
    const std::string beforeNul = kHelpReply.substr(0, kHelpReply.size() / 2);
    EXPECT_EQ(sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, beforeNul.c_str()), 1);
}

TEST_F(Exchange, NoAnswerIsAnEmptyReplyAfterOneWindow)
{
    SimUnit unit(unitAt(1, 115200, {"silent"}));
    ASSERT_TRUE(openAt(1, 115200, 300));
    const std::vector<uint8_t> oneByte = {'\n'};

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(sendCommand("%fw -p", 0, 1, kTxId.c_str()), 0);
    const long long elapsed = msSince(start);
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 550);
    EXPECT_EQ(console.text(), "");

    ConsoleCapture streamConsole;
    EXPECT_EQ(sendData(oneByte.data(), 1, 1, "SUCCESS"), 0);
    EXPECT_EQ(streamConsole.text(),
              std::string("1%\b\b100%") + "\r\nExpected : SUCCESS  received : \r\n" + kMismatchLine);
}

// Only whole pieces move the display; the last piece always shows 100%.
TEST_F(Exchange, StreamsShowTheirPercentages)
{
    SimConfig config = unitAt(1, 115200);
    const std::string wire = withWireLog(config, "wire");
    SimUnit unit(config);
    ASSERT_TRUE(openAt(1, 115200, 200));
    const std::vector<uint8_t> onePiece = streamBytes(10240);
    const std::vector<uint8_t> twoPieces = streamBytes(10241);

    {
        ConsoleCapture console;
        EXPECT_EQ(sendData(onePiece.data(), 10240, 1, nullptr), 1);
        EXPECT_EQ(console.text(), "1%\b\b100%");
    }
    EXPECT_EQ(settledWire(wire, 10240), asText(onePiece));

    {
        ConsoleCapture console;
        EXPECT_EQ(sendData(twoPieces.data(), 10241, 1, nullptr), 1);
        EXPECT_EQ(console.text(), "1%\b\b99%\b\b\b100%");
    }
    EXPECT_EQ(settledWire(wire, 10240 + 10241), asText(onePiece) + asText(twoPieces));
}

// The unit's own rate for the announcement, 115200 for the stream, as an
// update does it.
class AnnouncedImage : public DriverSession {
protected:
    const std::vector<uint8_t> image_ = [] {
        std::vector<uint8_t> bytes(25000);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(i * 131 + i / 256);
        }
        return bytes;
    }();
    const std::string picture_ = "1%\b\b40%\b\b\b81%\b\b\b100%";

    void announceAtUnitRate(uint32_t checksum)
    {
        ASSERT_TRUE(openAt(1, 9600, 200));
        ASSERT_EQ(sendCommand(announcement(checksum, image_.size()).c_str(), 0, 1, "Ready"), 1);
        ASSERT_EQ(ComPortAPI_SetBaudRate(STREAM_BAUD_RATE), 1);
    }
};

TEST_F(AnnouncedImage, ArrivesWhole)
{
    SimConfig config = unitAt(1, 9600);
    const std::string saved = comDir_.file("logic.bin");
    config.extraArgs = {"--save-fpga", saved};
    SimUnit unit(config);
    ASSERT_NO_FATAL_FAILURE(announceAtUnitRate(checksumOf(image_)));

    ConsoleCapture console;
    EXPECT_EQ(sendData(image_.data(), static_cast<int>(image_.size()), 1, "SUCCESS"), 1);
    EXPECT_EQ(console.text(), picture_);
    ASSERT_TRUE(waitUntil([&] { return fileExists(saved); }, 5s));
    EXPECT_EQ(readFile(saved), asText(image_));
}

TEST_F(AnnouncedImage, WrongChecksumIsReportedWithTheReply)
{
    SimUnit unit(unitAt(1, 9600));
    ASSERT_NO_FATAL_FAILURE(announceAtUnitRate(checksumOf(image_) + 1));

    ConsoleCapture console;
    EXPECT_EQ(sendData(image_.data(), static_cast<int>(image_.size()), 1, "SUCCESS"), 0);
    EXPECT_EQ(console.text(), picture_ + "\r\nExpected : SUCCESS  received : ERROR: checksum\r\n" + kMismatchLine);
}

TEST_F(Exchange, NegativeLengthIsRefusedWithoutTouchingTheLine)
{
    SimConfig config = unitAt(1, 115200);
    const std::string wire = withWireLog(config, "wire");
    SimUnit unit(config);
    ASSERT_TRUE(openAt(1, 115200, 300));
    const std::vector<uint8_t> bytes = streamBytes(16);

    ConsoleCapture console;
    const auto start = SteadyClock::now();
    EXPECT_EQ(sendData(bytes.data(), -1, 1, "SUCCESS"), 0);
    EXPECT_LT(msSince(start), 150);
    const std::string printed = console.text();
    EXPECT_NE(printed.find("Error"), std::string::npos) << printed;
    EXPECT_EQ(printed.find('%'), std::string::npos) << printed;
    EXPECT_EQ(settledWire(wire, 0), "");
}

// A unit that never falls silent: the reply ends when the accumulator is full.
TEST_F(Exchange, FloodEndsAtTheFullAccumulator)
{
    SimUnit unit(unitAt(1, 115200, {"flood"}));
    ASSERT_TRUE(openAt(1, 115200, 200));

    ConsoleCapture console;
    const std::optional<BOOL> result =
        callWithin(20s, unit, [] { return sendCommand("%fw -v", 0, 1, "61.1.2\r\nXC7A75 1.2 7\r\n>>"); });
    EXPECT_EQ(console.text(), "");
    ASSERT_TRUE(result.has_value()) << "still reading after 20 s";
    EXPECT_EQ(*result, 0);
    // Ended by a full read, not by a silent one: the buffer still holds flood text.
    EXPECT_EQ(strlen(gDataBuffer), static_cast<std::size_t>(DATA_BUFFER_SIZE - 1));
}

// A device that talks without pause, a byte every 400 ms, never leaves a
// 500 ms window silent. A compared reply is decided by its first byte; one
// that is only collected ends at the time limit of the collection.
TEST_F(Exchange, PortThatNeverFallsSilentEndsTheCollection)
{
    SimUnit unit(unitAt(1, 115200, {"drip"}));
    ASSERT_TRUE(openAt(1, 115200, 500));

    ConsoleCapture console;
    std::optional<BOOL> result =
        callWithin(20s, unit, [] { return sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, kHelpReply.c_str()); });
    ASSERT_TRUE(result.has_value()) << "a compared reply still collecting after 20 s";
    EXPECT_EQ(*result, 0);

    result = callWithin(20s, unit, [] { return sendCommand(DISCOVERY_PROBE_COMMAND, 0, 0, "anything"); });
    ASSERT_TRUE(result.has_value()) << "a collected reply still collecting after 20 s";
    EXPECT_EQ(*result, 1);
    EXPECT_EQ(console.text(), "");
}

// A compared reply is refused as soon as it can no longer equal the expected
// text: the collection stops with the read that showed it, and what the
// port sends after that stays on the line, in order, for the next read. The
// same talk collected without a comparison runs to the collection's cap.
TEST_F(Exchange, ReplyThatAlreadyDiffersIsReadNoFurther)
{
    SimUnit unit(unitAt(1, 115200, {"drip"}));
    ASSERT_TRUE(openAt(1, 115200, 500));
    const std::string dripText = "0123456789ABCDEF\r\n";
    const std::string dripTwice = dripText + dripText;

    ConsoleCapture console;
    ASSERT_EQ(sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, kHelpReply.c_str()), 0);
    const std::string refused = lastCollectedReply();
    // One window at a byte every 400 ms; the cap's four would hold four or more.
    ASSERT_GE(refused.size(), 1u);
    EXPECT_LE(refused.size(), 2u) << refused;

    std::vector<char> next(256);
    int count = 0;
    ASSERT_EQ(ComPortAPI_ReadCOM(next.data(), static_cast<int>(next.size()), &count), 1);
    ASSERT_GE(count, 1);
    const std::string followed = refused + std::string(next.data(), static_cast<std::size_t>(count));
    EXPECT_NE(dripTwice.find(followed), std::string::npos) << "bytes lost between the reply and the next read: "
                                                            << followed;

    EXPECT_EQ(sendCommand(DISCOVERY_PROBE_COMMAND, 0, 0, "anything"), 1);
    EXPECT_GE(strlen(lastCollectedReply()), 4u) << lastCollectedReply();
    EXPECT_EQ(console.text(), "");
}

TEST_F(Exchange, WritesToAVanishedPeerFail)
{
    SimConfig config = unitAt(1, 115200, {"hangup-mid-stream"});
    SimUnit unit(config);
    ASSERT_TRUE(openAt(1, 115200, 200));
    // More than the unit takes before it hangs up plus what the pty holds in flight.
    const std::vector<uint8_t> image = streamBytes(100000);
    ASSERT_EQ(sendCommand(announcement(checksumOf(image), image.size()).c_str(), 0, 1, "Ready"), 1);

    {
        ConsoleCapture console;
        const std::optional<BOOL> result =
            callWithin(20s, unit, [&] { return sendData(image.data(), static_cast<int>(image.size()), 1, "SUCCESS"); });
        const std::string printed = console.text();
        ASSERT_TRUE(result.has_value()) << "still writing after 20 s";
        EXPECT_EQ(*result, 0);
        EXPECT_EQ(printed.rfind("1%", 0), 0u) << printed;
        EXPECT_EQ(printed.find("100%"), std::string::npos) << printed;
        EXPECT_EQ(printed.find_first_of("\r\n"), std::string::npos) << printed;
    }
    EXPECT_EQ(unit.waitExit(5s), 0);
    EXPECT_FALSE(fileExists(unit.linkPath()));

    ConsoleCapture console;
    EXPECT_EQ(sendCommand("%fw -v", 0, 1, "anything"), 0);
    EXPECT_EQ(console.text(), "\r\nError occurred when sending data !\r\n");
}

}  // namespace
