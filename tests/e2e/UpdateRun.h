// Runs of the real update tool against simulated units, each in a COM folder
// of its own, and the checks every run gets: no time-out, the exit status,
// the whole stdout against the expected transcript, nothing on stderr.
#ifndef E2E_UPDATE_RUN_H
#define E2E_UPDATE_RUN_H

#include "support/ExitStatus.h"
#include "support/Process.h"
#include "support/SimUnit.h"
#include "support/TempDir.h"
#include "support/ToolUnderTest.h"

#include "e2e/Transcript.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// After the last "SUCCESS" the quick build listens for the prompt from about
// 4.4 s to 15.4 s (two 1 s reply windows, 1.4 s of wait, a 1 s read that is
// dropped, then the 11 s read). A unit that boots in 8 s lands well inside
// that window, on either side of it with seconds to spare.
constexpr int QUICK_BOOT_MS = 8000;

// The quick build gives up a write after this long without a byte taken.
constexpr int QUICKBOOT_WRITE_STALL_LIMIT_MS = RAVELIN_QUICKBOOT_WRITE_STALL_LIMIT_MS;

// The binary image the tool builds from catalogue entry `index`, assembled
// by the tool's own code from a fresh copy of the entry.
const std::string &catalogueImage(int index);

// What a run against a unit-sim unit of `type` shows from the version lines
// to the end of the reboot wait, with the catalogue's images.
std::string updateSteps(UnitType type);

// Empty when the texts are equal; otherwise where they first differ, with
// the bytes around that place on both sides, escaped.
std::string firstDifference(const std::string &expected, const std::string &actual);

class UpdateRun : public ComFolderTest {
protected:
    // A unit in this test's COM folder. Unless `config.extraArgs` says
    // otherwise it saves the images it receives (logicImagePath(),
    // mcuImagePath()) and boots in QUICK_BOOT_MS.
    void startUnit(SimConfig config);

    // Runs the tool on this test's COM folder, stdin from `stdinText` or
    // /dev/null, killed after `timeout`.
    ProcessResult runTool(ToolBuild build, std::chrono::seconds timeout,
                          const std::optional<std::string> &stdinText = std::nullopt);
    // The same with command-line arguments.
    ProcessResult runToolWith(ToolBuild build, const std::vector<std::string> &args, std::chrono::seconds timeout,
                              const std::optional<std::string> &stdinText = std::nullopt);
    // The checks above.
    static void expectRun(const ProcessResult &run, int expectedStatus, const std::string &expectedOut);
    // Both in one.
    void runAndCheck(ToolBuild build, int expectedStatus, const std::string &expectedOut, std::chrono::seconds timeout,
                     const std::optional<std::string> &stdinText = std::nullopt)
    {
        expectRun(runTool(build, timeout, stdinText), expectedStatus, expectedOut);
    }

    std::string logicImagePath() const { return saved_.file("logic.bin"); }
    std::string mcuImagePath() const { return saved_.file("mcu.bin"); }
    // Both images the unit received equal the catalogue's for `logicIndex`.
    void expectImagesReceived(int logicIndex) const;

    std::unique_ptr<SimUnit> unit;

private:
    TempDir saved_;
};

#endif
