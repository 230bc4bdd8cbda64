#include "rack/RackRun.h"

#include "support/Files.h"

#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>

#ifndef RAVELIN_QUICKBOOT_TOOL_PATH
#error "RAVELIN_QUICKBOOT_TOOL_PATH must name the quick-boot build of the update tool"
#endif

namespace {

std::string logicPath(const TempDir &saved, int com) { return saved.file("logic" + std::to_string(com) + ".bin"); }
std::string mcuPath(const TempDir &saved, int com) { return saved.file("mcu" + std::to_string(com) + ".bin"); }

}  // namespace

void RackRun::addUnit(int com, int baud, UnitType type, std::vector<std::string> faults,
                      std::vector<std::string> extraArgs)
{
    SimConfig config;
    config.dir = comDir.path();
    config.com = com;
    config.baud = baud;
    config.type = type == UnitType::Tx ? "tx" : "rx";
    config.faults = std::move(faults);
    config.extraArgs = {"--boot-ms",  std::to_string(QUICK_BOOT_MS), "--save-fpga", logicPath(saved, com),
                        "--save-mcu", mcuPath(saved, com)};
    config.extraArgs.insert(config.extraArgs.end(), extraArgs.begin(), extraArgs.end());
    units.push_back(std::make_unique<SimUnit>(config));
}

void RackRun::expectImagesReceived(int com, UnitType type) const
{
    const int logicIndex = type == UnitType::Tx ? CATALOGUE_TX_LOGIC : CATALOGUE_RX_LOGIC;
    ASSERT_TRUE(fileExists(logicPath(saved, com))) << "COM" << com << " got no logic image";
    ASSERT_TRUE(fileExists(mcuPath(saved, com))) << "COM" << com << " got no MCU image";
    EXPECT_TRUE(readFile(logicPath(saved, com)) == catalogueImage(logicIndex)) << "COM" << com << ": logic image differs";
    EXPECT_TRUE(readFile(mcuPath(saved, com)) == catalogueImage(CATALOGUE_MCU_FIRMWARE))
        << "COM" << com << ": MCU image differs";
}

bool RackRun::receivedImages(int com) const
{
    return fileExists(logicPath(saved, com)) || fileExists(mcuPath(saved, com));
}

std::vector<std::string> RackRun::toolCommand(const std::vector<std::string> &args) const
{
    std::vector<std::string> command = {RAVELIN_QUICKBOOT_TOOL_PATH};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

std::vector<pid_t> RackRun::toolProcesses() const
{
    const std::string entry = "RAVELIN_COM_DIR=" + comDir.path();
    std::vector<pid_t> found;
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return found;
    while (dirent *process = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(process->d_name));
        if (pid <= 0)
            continue;
        std::string environment;
        try {
            environment = readFile("/proc/" + std::string(process->d_name) + "/environ");
        } catch (const std::exception &) {
            continue;  // ended while we looked
        }
        for (size_t start = 0; start < environment.size();) {
            size_t end = environment.find('\0', start);
            if (end == std::string::npos)
                end = environment.size();
            if (environment.compare(start, end - start, entry) == 0)
                found.push_back(pid);
            start = end + 1;
        }
    }
    closedir(proc);
    return found;
}

std::vector<std::string> filesIn(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string lastBoardLine(const std::string &text, const std::string &port)
{
    const std::string start = port + std::string(port.size() < 9 ? 9 - port.size() : 1, ' ');
    std::string last;
    for (const std::string &line : linesOf(text)) {
        if (line.compare(0, start.size(), start) == 0)
            last = line;
    }
    return last;
}
