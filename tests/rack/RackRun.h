// Racks of simulated units for the --all tests: units in one COM folder of
// the test's own, each saving the images it received, the quick-boot tool
// run over that folder, and a look for processes a run left behind.
#ifndef RACK_RACK_RUN_H
#define RACK_RACK_RUN_H

#include "support/Process.h"
#include "support/SimUnit.h"
#include "support/TempDir.h"
#include "support/ToolUnderTest.h"

#include "e2e/Transcript.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class RackRun : public ComFolderTest {
protected:
    // A unit on COM `com` that answers at `baud`, saves what it receives and
    // boots in QUICK_BOOT_MS; `extraArgs` are further unit-sim options.
    void addUnit(int com, int baud, UnitType type, std::vector<std::string> faults = {},
                 std::vector<std::string> extraArgs = {});
    // The same unit linked as `device` (ttyUSB0, ttyACM1, ttyS2) instead,
    // for a run on the device folder (deviceEnvironment).
    void addDeviceUnit(const std::string &device, int baud, UnitType type);
    // Both images the unit on COM `com` received equal the catalogue's.
    void expectImagesReceived(int com, UnitType type) const { expectImagesReceived("com" + std::to_string(com), type); }
    void expectImagesReceived(const std::string &link, UnitType type) const;
    // Any image reached the unit on COM `com`.
    bool receivedImages(int com) const;

    // The quick-boot tool with `args`, on this test's COM folder.
    std::vector<std::string> toolCommand(const std::vector<std::string> &args) const;

    // Processes whose environment names this test's folder as their COM or
    // device folder: the tool and every process it started.
    std::vector<pid_t> toolProcesses() const;

    TempDir saved;
    TempDir traces;  // for --log-dir
    std::vector<std::unique_ptr<SimUnit>> units;
};

// The names of the files in `folder`, sorted.
std::vector<std::string> filesIn(const std::string &folder);

// The text's lines, without their line ends.
std::vector<std::string> linesOf(const std::string &text);
// The board's last line for `port`: the last line before the summary that
// starts with the port and a blank.
std::string lastBoardLine(const std::string &text, const std::string &port);

#endif
