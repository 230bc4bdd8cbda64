// The trace of whole runs (--log FILE): an update holds every command and
// reply, the image streams as counted pieces and the console, with stdout
// exactly as without a trace; an update whose unit vanishes mid-stream ends
// with that failure; a trace that cannot be written stops the run before
// any port is touched.
#include "ports/PortsFixture.h"

#include "support/Files.h"
#include "support/SimUnit.h"

#include "RavelinFwUpgrade.h"
#include "WebPackageMode.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <unistd.h>
#include <sstream>

using namespace std::chrono_literals;

namespace {

struct Record {
    long long ms;
    std::string text;
};

std::vector<Record> traceRecords(const std::string &path)
{
    std::vector<Record> records;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        const size_t stamp = line.find(" ms  ");
        if (stamp == std::string::npos) {
            ADD_FAILURE() << "a trace line without its time: " << line;
            continue;
        }
        records.push_back({std::stoll(line.substr(0, stamp)), line.substr(stamp + 5)});
    }
    return records;
}

bool startsWith(const std::string &text, const std::string &start) { return text.rfind(start, 0) == 0; }

int countStarting(const std::vector<Record> &records, const std::string &start)
{
    int count = 0;
    for (const Record &record : records)
        count += startsWith(record.text, start) ? 1 : 0;
    return count;
}

bool hasRecord(const std::vector<Record> &records, const std::string &text)
{
    for (const Record &record : records)
        if (record.text == text)
            return true;
    return false;
}

std::string announcement(const char *command, const std::string &image)
{
    uint32_t checksum = 0;
    for (unsigned char byte : image)
        checksum -= byte;
    return std::string(command) + std::to_string(checksum) + " " + std::to_string(image.size());
}

int pieces(const std::string &image) { return static_cast<int>((image.size() + STREAM_PIECE_SIZE - 1) / STREAM_PIECE_SIZE); }

std::string streamDone(const std::string &image)
{
    const std::string size = std::to_string(image.size());
    return "image stream done: " + size + " of " + size + " bytes in " + std::to_string(pieces(image)) + " pieces";
}

class TraceRun : public UpdateRun {
protected:
    ProcessResult runTraced(const std::vector<std::string> &args, std::chrono::seconds timeout = 120s)
    {
        return runToolIn(ToolBuild::QuickBoot, args, toolEnvironment(), timeout);
    }
    TempDir traces;
};

}  // namespace

TEST_F(TraceRun, WholeUpdateTraceHoldsEveryCommandReplyAndTheStreamCounts)
{
    SimConfig config;
    startUnit(config);
    const std::string trace = traces.file("update trace.txt");

    expectRun(runTraced({"--log", trace}), EXIT_UPDATED,
              banner() + discovered(1, 115200) + updateSteps(UnitType::Tx) + successLine() + exitPrompt());

    const std::vector<Record> records = traceRecords(trace);
    ASSERT_GE(records.size(), 10u);
    for (size_t i = 1; i < records.size(); ++i)
        EXPECT_LE(records[i - 1].ms, records[i].ms) << records[i].text;
    EXPECT_TRUE(startsWith(records.front().text, "RavelinFwUpgrade " FIRMWARE_VERSION_TO_UPLOAD ", run as: "))
        << records.front().text;
    EXPECT_EQ(records.back().text, "exit status 0");

    const std::string &logic = catalogueImage(CATALOGUE_TX_LOGIC);
    const std::string &mcu = catalogueImage(CATALOGUE_MCU_FIRMWARE);
    // The unit answers the first probe: five command lines in all, each whole.
    EXPECT_EQ(countStarting(records, "write "), 5);
    for (const std::string &command : {std::string(DISCOVERY_PROBE_COMMAND), std::string("%fw -v"),
                                       std::string("%fw -p"), announcement("%fw -l ", logic),
                                       announcement("%fw -h ", mcu)}) {
        const std::string line = "%%" + command + "\\n\\r";
        const std::string size = std::to_string(command.size() + 4);
        int found = 0;
        for (const Record &record : records)
            found += startsWith(record.text, "write " + size + " of " + size + " bytes in ") &&
                     record.text.find(" ms: \"" + line + "\"") != std::string::npos;
        EXPECT_EQ(found, 1) << command;
    }
    int ready = 0, success = 0, prompt = 0, help = 0;
    for (const Record &record : records) {
        if (!startsWith(record.text, "read "))
            continue;
        ready += record.text.find(": \"Ready\"") != std::string::npos;
        success += record.text.find(": \"SUCCESS\"") != std::string::npos;
        help += record.text.find(": \"version\\n\\r   version <no parameters>") != std::string::npos;
        prompt += record.text.find(": \"[") != std::string::npos && record.text.find(">>\"") != std::string::npos;
    }
    EXPECT_EQ(help, 1);
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(success, 2);
    EXPECT_EQ(prompt, 1);

    EXPECT_EQ(countStarting(records, "piece "), pieces(logic) + pieces(mcu));
    EXPECT_EQ(countStarting(records, streamDone(logic)), 1);
    EXPECT_EQ(countStarting(records, streamDone(mcu)), 1);
    EXPECT_EQ(occurrences(readFile(trace), "FAILED"), 0);
    EXPECT_EQ(countStarting(records, "open COM1: 115200 baud 8N1, CTS flow control off, read time-out 500 ms"), 1);
    EXPECT_EQ(countStarting(records, "set CTS flow control on"), 1);
    // Console text is a record of its own when wire records come between.
    EXPECT_TRUE(hasRecord(records, "console \"Checking product .......... \""));
    EXPECT_TRUE(hasRecord(records, "console \"TX OK\\r\""));
    EXPECT_TRUE(hasRecord(records, "console \"\\rThe update was successful, the unit is now operational\\r\""));
}

TEST_F(TraceRun, UpdateWhoseUnitVanishesMidStreamEndsWithThatFailure)
{
    SimConfig config;
    config.faults = {"hangup-mid-stream"};
    startUnit(config);
    const std::string trace = traces.file("trace.txt");

    const ProcessResult run = runTraced({"--log", trace});
    EXPECT_EQ(run.status, EXIT_UPDATE_FAILED);

    const std::vector<Record> records = traceRecords(trace);
    size_t failed = records.size();
    for (size_t i = 0; i < records.size(); ++i)
        if (startsWith(records[i].text, "piece ") && records[i].text.find(" FAILED: ") != std::string::npos)
            failed = i;
    ASSERT_LT(failed, records.size()) << "no failed piece in the trace";
    // Nothing went over the wire after it.
    for (size_t i = failed + 1; i < records.size(); ++i) {
        EXPECT_FALSE(startsWith(records[i].text, "write ") || startsWith(records[i].text, "read ") ||
                     startsWith(records[i].text, "piece "))
            << records[i].text;
    }
    EXPECT_EQ(countStarting(records, "image stream broken off: "), 1);
    EXPECT_TRUE(hasRecord(records, "close COM1"));
    EXPECT_EQ(records.back().text, "exit status 1");
}

TEST_F(TraceRun, UnwritableTraceIsAUsageErrorBeforeAnyPortIsTouched)
{
    SimConfig config;
    config.extraArgs = {"--wire-log", traces.file("wire.log")};
    startUnit(config);

    const ProcessResult run = runTraced({"--info", "--log", "/nonexistent-folder/trace.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--log: cannot write \"/nonexistent-folder/trace.txt\""), std::string::npos) << run.err;
    EXPECT_EQ(readFile(traces.file("wire.log")), "");
}

// A trace that takes no record (/dev/full) never stops the update: it goes
// on to its success and its exit status, and stderr says once that the
// trace is incomplete and why. A FIFO that nobody reads is refused at once,
// with the system's reason, before any port is touched, where opening it
// would wait forever.
TEST_F(TraceRun, AnUnwritableTraceIsToldOnceAndAFifoWithoutReaderIsRefusedAtOnce)
{
    SimConfig config;
    config.extraArgs = {"--wire-log", traces.file("wire.log")};
    startUnit(config);

    const std::string fifo = traces.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const ProcessResult blocked = runTraced({"--info", "--log", fifo}, 20s);
    EXPECT_FALSE(blocked.timedOut) << "opening the trace waited for a reader";
    EXPECT_EQ(blocked.status, 2);
    EXPECT_EQ(blocked.out, "");
    EXPECT_NE(blocked.err.find("--log: cannot write \"" + fifo + "\": No such device or address"), std::string::npos)
        << blocked.err;
    EXPECT_EQ(readFile(traces.file("wire.log")), "");

    const ProcessResult full = runTraced({"--log", "/dev/full", "--no-wait"});
    EXPECT_EQ(full.status, EXIT_UPDATED) << full.out;
    EXPECT_EQ(full.err, "WARNING: the trace \"/dev/full\" is incomplete: No space left on device\n");
    EXPECT_NE(full.out.find("The update was successful"), std::string::npos) << full.out;
    expectImagesReceived(CATALOGUE_TX_LOGIC);
}

// Where the trace or the package goes can fail every way a file can: none of
// them stops the run or leaves a half-written file. A file-size limit fails
// the writes instead of ending the tool; a pipe whose reader takes nothing
// fails the trace instead of holding the run; a --log naming the package is
// refused before the package it would empty is touched.
TEST_F(TraceRun, NoTraceOrPackageSinkStopsTheRunOrLosesAFile)
{
    startUnit(SimConfig{});
    const std::string tool = toolPath(ToolBuild::QuickBoot);
    const auto inShell = [&](const std::string &command) {
        return runProcess({"sh", "-c", command}, toolEnvironment(), std::nullopt, 60s);
    };
    const std::string limited = "ulimit -c 0 && ulimit -f 2 && cd '" + traces.path() + "' && exec '" + tool + "' --no-wait ";

    const ProcessResult sizeLimited = inShell(limited + "--info --log trace.txt");
    EXPECT_EQ(sizeLimited.status, 0) << sizeLimited.err;
    EXPECT_EQ(sizeLimited.err, "WARNING: the trace \"trace.txt\" is incomplete: File too large\n");
    EXPECT_NE(sizeLimited.out.find("UP TO DATE"), std::string::npos) << sizeLimited.out;

    const std::string package = traces.file(FIRMWARE_FILE_NAME_FOR_WEB);
    writeFile(package, "the package of the last release");
    const ProcessResult packageLimited = inShell(limited + "--web-package");
    EXPECT_EQ(packageLimited.status, 1);
    EXPECT_NE(packageLimited.out.find("failed: File too large"), std::string::npos) << packageLimited.out;
    ASSERT_EQ(symlink(FIRMWARE_FILE_NAME_FOR_WEB, traces.file("link").c_str()), 0);
    for (const std::string &log : {std::string(FIRMWARE_FILE_NAME_FOR_WEB), std::string("link")}) {
        const ProcessResult named = inShell(limited + "--web-package --log " + log);
        EXPECT_EQ(named.status, 2) << log;
        EXPECT_NE(named.err.find("is the web package's own file"), std::string::npos) << named.err;
    }
    EXPECT_TRUE(readFile(package) == "the package of the last release") << "the old package was replaced";
    std::set<std::string> left;
    for (const auto &entry : std::filesystem::directory_iterator(traces.path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{FIRMWARE_FILE_NAME_FOR_WEB, "link", "trace.txt"}));

    unit.reset();
    SimConfig flood;
    flood.faults = {"flood"};
    startUnit(flood);
    const std::string fifo = traces.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int unreadEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(unreadEnd, 0);
    const ProcessResult unread = runTraced({"--info", "--port", "1", "--log", fifo}, 60s);
    ::close(unreadEnd);
    EXPECT_FALSE(unread.timedOut) << "the run waited for the trace's reader";
    EXPECT_EQ(unread.status, 1);
    EXPECT_EQ(unread.err, "WARNING: the trace \"" + fifo + "\" is incomplete: Resource temporarily unavailable\n");
}
