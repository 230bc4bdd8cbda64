// The run report: every shape of record the tool writes is valid against the
// schema shipped in docs/, says what the progress events said, and is only
// ever written in place of nothing or of a regular file.
#include "ReportFile.h"
#include "RunReport.h"

#include "support/Files.h"
#include "support/ReportCheck.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ProgressEvent event(ProgressStep step, int percent, ProgressResult result = ProgressResult::None)
{
    ProgressEvent state;
    state.port = "COM3";
    state.baud = 9600;
    state.unitType = "TX";
    state.versionsKnown = true;
    state.mcuVersion = "61.01.01";
    state.logicVersion = "XC7A75 1.02";
    state.deviceCode = 7;
    state.step = result == ProgressResult::None ? step : ProgressStep::Failed;
    state.during = step;
    state.percent = percent;
    state.result = result;
    return state;
}

RunReport header()
{
    RunReport report;
    report.toolVersion = "1.0.2";
    report.carried = {"61.01.02", "XC7A75 1.02", "XC7A75 1.02", 7};
    report.host = "jig-3";
    report.started = "2026-12-09T02:10:00Z";
    report.commandLine = {"RavelinFwUpgrade", "--all", "--report", "r.json"};
    report.mode = "update";
    return report;
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") {
                names.push_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

}  // namespace

TEST(RunReport, RecordsFollowTheEventsAndEveryShapeIsValidAgainstTheSchema)
{
    // Announced but not one byte sent, then the first piece, then later steps.
    EXPECT_FALSE(reportPortFromEvent(event(ProgressStep::Logic, 0, ProgressResult::Failed)).written);
    EXPECT_TRUE(reportPortFromEvent(event(ProgressStep::Logic, 1, ProgressResult::Failed)).written);
    EXPECT_TRUE(reportPortFromEvent(event(ProgressStep::Firmware, 0, ProgressResult::Stopped)).written);
    EXPECT_FALSE(reportPortFromEvent(event(ProgressStep::Checking, -1, ProgressResult::UpToDate)).written);

    ProgressEvent identified = event(ProgressStep::Done, -1, ProgressResult::Identified);
    identified.step = ProgressStep::Done;
    EXPECT_EQ(reportPortFromEvent(identified).verdict, "update needed");
    identified.newerThanCarried = true;
    EXPECT_EQ(reportPortFromEvent(identified).verdict, "newer than carried");
    ProgressEvent unsupported = event(ProgressStep::Checking, -1, ProgressResult::Failed);
    unsupported.notSupported = true;
    EXPECT_EQ(reportPortFromEvent(unsupported).verdict, "not supported");
    EXPECT_EQ(reportPortFromEvent(event(ProgressStep::Checking, -1, ProgressResult::Failed)).verdict, "");

    // A run that ended from outside at its step, before its result.
    const ReportPort unfinished = reportPortFromEvent(event(ProgressStep::Rebooting, 40));
    EXPECT_EQ(unfinished.result, "stopped");
    EXPECT_EQ(unfinished.message, "the run ended during rebooting");
    EXPECT_TRUE(unfinished.written);

    RunReport report = header();
    ProgressEvent failed = event(ProgressStep::Logic, 100, ProgressResult::Failed);
    failed.message = "the unit answered \"\x1b[2J\xff\xfe\" instead of \"SUCCESS\"";
    ReportPort port = reportPortFromEvent(failed);
    port.port = "/dev/serial/by-id/usb-FTDI_FT232R_A5XK3RJT-if00-port0";
    port.identity = {"/dev/ttyUSB0", port.port, "0403", "6001", "A5XK3RJT", "FTDI", "FT232R USB UART", "", ""};
    port.attempts = 2;
    port.seconds = 61.26;
    port.trace = "/tmp/RavelinFwUpgrade-ttyUSB0.log";
    report.ports.push_back(port);
    ProgressEvent noSuchPort;
    noSuchPort.step = ProgressStep::Failed;
    noSuchPort.result = ProgressResult::NoSuchPort;
    noSuchPort.message = "no such port";
    ReportPort missing = reportPortFromEvent(noSuchPort);
    missing.port = "COM9";
    report.ports.push_back(missing);
    ReportPort none = reportPortFromEvent(event(ProgressStep::Searching, -1, ProgressResult::NotFound));
    none.port = "COM4";
    report.ports.push_back(none);

    TempDir folder;
    const std::string going = folder.file("going.json");
    ASSERT_TRUE(ReportFile(going).write(report));
    report.complete = true;
    report.exitStatus = 1;
    const std::string done = folder.file("done.json");
    ASSERT_TRUE(ReportFile(done).write(report));
    EXPECT_EQ(reportSchemaFaults(going), "");
    EXPECT_EQ(reportSchemaFaults(done), "");

    const nlohmann::json incomplete = readReport(going);
    EXPECT_EQ(incomplete["complete"], false);
    EXPECT_TRUE(incomplete["exit_status"].is_null());
    const nlohmann::json read = readReport(done);
    EXPECT_EQ(read["exit_status"], 1);
    EXPECT_EQ(read["counts"], nlohmann::json({{"ports", 3}, {"failed", 1}, {"no-such-port", 1}, {"not-found", 1}}));
    const nlohmann::json &first = read["ports"][0];
    EXPECT_EQ(first["path"], "/dev/ttyUSB0");
    EXPECT_EQ(first["identity"]["serial_number"], "A5XK3RJT");
    EXPECT_FALSE(first["identity"].contains("hardware_id"));
    EXPECT_EQ(first["seconds"], 61.3);
    EXPECT_EQ(first["written"], true);
    EXPECT_EQ(read["ports"][1]["trace"], nullptr);
    EXPECT_EQ(read["ports"][1]["versions_before"], nullptr);
    EXPECT_FALSE(read["ports"][1].contains("baud"));
    EXPECT_EQ(read["ports"][2]["verdict"], "no unit");

    // What the schema must refuse: a wrong result word, an exit status
    // while the run is not over.
    std::string text = readFile(done);
    writeFile(folder.file("bad.json"), text.replace(text.find("\"failed\""), 8, "\"broken\""));
    EXPECT_NE(reportSchemaFaults(folder.file("bad.json")), "");
    text = readFile(going);
    writeFile(folder.file("bad2.json"), text.replace(text.find("\"exit_status\": null"), 19, "\"exit_status\": 0"));
    EXPECT_NE(reportSchemaFaults(folder.file("bad2.json")), "");
}

TEST(RunReport, TheFileTakesTheNameOnlyFromNothingOrARegularFile)
{
    TempDir folder;
    RunReport report = header();
    report.complete = true;

    writeFile(folder.file("old.json"), "old");
    EXPECT_TRUE(ReportFile(folder.file("old.json")).write(report));
    EXPECT_EQ(readReport(folder.file("old.json"))["host"], "jig-3");

    writeFile(folder.file("target"), "keep");
    ASSERT_EQ(symlink(folder.file("target").c_str(), folder.file("link.json").c_str()), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo.json").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.file("dir.json").c_str(), 0700), 0);
    for (const char *name : {"link.json", "fifo.json", "dir.json"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(ReportFile_CanWrite(folder.file(name), error));
        EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
        EXPECT_FALSE(ReportFile(folder.file(name)).write(report));
    }
    char target[64] = "";
    EXPECT_GT(readlink(folder.file("link.json").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), folder.file("target"));
    EXPECT_EQ(readFile(folder.file("target")), "keep");
    // No new file is left beside the names it did not take.
    EXPECT_EQ(entries(folder.path()).size(), 5u);

    std::string error;
    EXPECT_FALSE(ReportFile_CanWrite(folder.file("missing/r.json"), error));
    EXPECT_NE(error, "");
    EXPECT_TRUE(ReportFile_CanWrite(folder.file("new.json"), error));
    EXPECT_FALSE(fileExists(folder.file("new.json")));
}
