#include "rack/RackRun.h"

#include "support/Files.h"

#include "e2e/UpdateRun.h"

#include "RavelinFwUpgrade.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::string logicPath(const TempDir &saved, const std::string &link) { return saved.file("logic-" + link + ".bin"); }
std::string mcuPath(const TempDir &saved, const std::string &link) { return saved.file("mcu-" + link + ".bin"); }

SimConfig unitConfig(const std::string &dir, const TempDir &saved, const std::string &link, int baud, UnitType type)
{
    SimConfig config;
    config.dir = dir;
    config.baud = baud;
    config.type = type == UnitType::Tx ? "tx" : "rx";
    config.extraArgs = {"--boot-ms",  std::to_string(QUICK_BOOT_MS), "--save-fpga", logicPath(saved, link),
                        "--save-mcu", mcuPath(saved, link)};
    return config;
}

}  // namespace

void RackRun::addUnit(int com, int baud, UnitType type, std::vector<std::string> faults,
                      std::vector<std::string> extraArgs)
{
    SimConfig config = unitConfig(comDir.path(), saved, "com" + std::to_string(com), baud, type);
    config.com = com;
    config.faults = std::move(faults);
    config.extraArgs.insert(config.extraArgs.end(), extraArgs.begin(), extraArgs.end());
    units.push_back(std::make_unique<SimUnit>(config));
}

void RackRun::addDeviceUnit(const std::string &device, int baud, UnitType type)
{
    SimConfig config = unitConfig(comDir.path(), saved, device, baud, type);
    config.link = device;
    units.push_back(std::make_unique<SimUnit>(config));
}

void RackRun::expectImagesReceived(const std::string &link, UnitType type) const
{
    const int logicIndex = type == UnitType::Tx ? CATALOGUE_TX_LOGIC : CATALOGUE_RX_LOGIC;
    ASSERT_TRUE(fileExists(logicPath(saved, link))) << link << " got no logic image";
    ASSERT_TRUE(fileExists(mcuPath(saved, link))) << link << " got no MCU image";
    EXPECT_TRUE(readFile(logicPath(saved, link)) == catalogueImage(logicIndex)) << link << ": logic image differs";
    EXPECT_TRUE(readFile(mcuPath(saved, link)) == catalogueImage(CATALOGUE_MCU_FIRMWARE)) << link << ": MCU image differs";
}

bool RackRun::receivedImages(int com) const
{
    const std::string link = "com" + std::to_string(com);
    return fileExists(logicPath(saved, link)) || fileExists(mcuPath(saved, link));
}

std::vector<std::string> RackRun::toolCommand(const std::vector<std::string> &args) const
{
    std::vector<std::string> command = {toolPath(ToolBuild::QuickBoot)};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

std::vector<pid_t> RackRun::toolProcesses() const
{
    const std::string comEntry = "RAVELIN_COM_DIR=" + comDir.path();
    const std::string deviceEntry = "RAVELIN_DEV_DIR=" + comDir.path();
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
            const std::string entry = environment.substr(start, end - start);
            if (entry == comEntry || entry == deviceEntry) {
                found.push_back(pid);
                break;
            }
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
    const std::string start = port + " ";
    std::string last;
    for (const std::string &line : linesOf(text.substr(0, text.find("\nPort ")))) {
        if (line.compare(0, start.size(), start) == 0)
            last = line;
    }
    return last;
}
