// The update tool as the tests run it: which build, where it is, and the
// environment that points it at a folder of ports of the test's own, never
// at the machine's.
#ifndef SUPPORT_TOOL_UNDER_TEST_H
#define SUPPORT_TOOL_UNDER_TEST_H

#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

// The product build, or the one whose reboot wait is 46 x 30 ms.
enum class ToolBuild { RealTiming, QuickBoot };

std::string toolPath(ToolBuild build);

// COM N is `comDir`/comN.
Environment comFolder(const std::string &comDir);
// Ports looked up in `deviceDir` as on a Linux system without RAVELIN_COM_DIR
// (an empty value counts as unset).
Environment deviceFolder(const std::string &deviceDir);

// A test with a COM folder of its own. A derived fixture's members (the
// units linked into the folder) end before the folder is removed.
class ComFolderTest : public ::testing::Test {
protected:
    // The variables every run of the tool gets: this test's COM folder.
    Environment toolEnvironment() const { return comFolder(comDir.path()); }
    // This test's COM folder as the device folder where ttyS*, ttyUSB* and
    // ttyACM* are found, with no COM folder.
    Environment deviceEnvironment() const { return deviceFolder(comDir.path()); }

    TempDir comDir;
};

#endif
