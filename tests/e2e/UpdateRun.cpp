#include "e2e/UpdateRun.h"

#include "support/Escaped.h"
#include "support/Files.h"

#include "RavelinFwUpgrade.h"

#include <cstdlib>
#include <map>
#include <stdexcept>

namespace {

std::string assemble(int index)
{
    if (!allocateSessionBuffers()) {
        releaseSessionBuffers();
        throw std::runtime_error("out of memory for the image buffers");
    }
    char *text = newCatalogueTextCopy(index);
    const bool valid = text != nullptr && ValidateFwAndConcatenateData(text);
    std::string image;
    if (valid)
        image.assign(reinterpret_cast<const char *>(gDataConcatenated), static_cast<std::size_t>(gDataConcatenatedLenght));
    std::free(text);
    releaseSessionBuffers();
    if (!valid)
        throw std::runtime_error("catalogue entry " + std::to_string(index) + " does not assemble");
    return image;
}

}  // namespace

const std::string &catalogueImage(int index)
{
    static std::map<int, std::string> images;
    auto found = images.find(index);
    if (found == images.end())
        found = images.emplace(index, assemble(index)).first;
    return found->second;
}

std::string updateSteps(UnitType type)
{
    const int logicIndex = type == UnitType::Tx ? CATALOGUE_TX_LOGIC : CATALOGUE_RX_LOGIC;
    const int logicLength = static_cast<int>(catalogueImage(logicIndex).size());
    const int mcuLength = static_cast<int>(catalogueImage(CATALOGUE_MCU_FIRMWARE).size());
    return versionLines(simVersion()) + productCheck() + identified(type) + transfers(logicLength, mcuLength) +
           rebootWait();
}

std::string firstDifference(const std::string &expected, const std::string &actual)
{
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    if (at == expected.size() && at == actual.size())
        return "";
    const std::size_t from = at > 60 ? at - 60 : 0;
    return "first difference at byte " + std::to_string(at) + " (expected " + std::to_string(expected.size()) +
           " bytes, got " + std::to_string(actual.size()) + ")\n  expected: ..." +
           escaped(expected.substr(from, 120)) + "\n  actual:   ..." + escaped(actual.substr(from, 120));
}

void UpdateRun::startUnit(SimConfig config)
{
    config.dir = comDir.path();
    auto given = [&](const char *option) {
        for (const std::string &arg : config.extraArgs)
            if (arg == option)
                return true;
        return false;
    };
    if (!given("--boot-ms"))
        config.extraArgs.insert(config.extraArgs.end(), {"--boot-ms", std::to_string(QUICK_BOOT_MS)});
    config.extraArgs.insert(config.extraArgs.end(), {"--save-fpga", logicImagePath(), "--save-mcu", mcuImagePath()});
    unit = std::make_unique<SimUnit>(config);
}

ProcessResult UpdateRun::runTool(ToolBuild build, std::chrono::seconds timeout,
                                 const std::optional<std::string> &stdinText)
{
    return runToolWith(build, {}, timeout, stdinText);
}

ProcessResult UpdateRun::runToolWith(ToolBuild build, const std::vector<std::string> &args,
                                     std::chrono::seconds timeout, const std::optional<std::string> &stdinText)
{
    std::vector<std::string> argv = {toolPath(build)};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, toolEnvironment(), stdinText, timeout);
}

void UpdateRun::expectRun(const ProcessResult &run, int expectedStatus, const std::string &expectedOut)
{
    EXPECT_FALSE(run.timedOut) << "the tool was killed at its time limit";
    EXPECT_EQ(run.status, expectedStatus);
    EXPECT_TRUE(run.out == expectedOut) << firstDifference(expectedOut, run.out);
    EXPECT_EQ(run.err, "");
}

void UpdateRun::expectImagesReceived(int logicIndex) const
{
    ASSERT_TRUE(fileExists(logicImagePath()));
    ASSERT_TRUE(fileExists(mcuImagePath()));
    EXPECT_TRUE(readFile(logicImagePath()) == catalogueImage(logicIndex)) << "logic image differs";
    EXPECT_TRUE(readFile(mcuImagePath()) == catalogueImage(CATALOGUE_MCU_FIRMWARE)) << "MCU image differs";
}
