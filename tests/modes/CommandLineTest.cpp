// The command line record and the versions read from image file names.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CarriedVersions.h"
#include "CommandLine.h"

namespace {

bool parse(std::vector<const char *> args, CommandLine &line, std::string &error)
{
    args.insert(args.begin(), "RavelinFwUpgrade");
    return parseCommandLine(static_cast<int>(args.size()), args.data(), line, error);
}

TEST(CommandLine, OptionsCombineInAnyOrderAndInBothSpellings)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({}, line, error));
    EXPECT_EQ(line.mode, RunMode::Update);
    EXPECT_FALSE(line.unattended());

    ASSERT_TRUE(parse({"--no-wait", "--baud=9600", "--info", "--port", "255"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::Info);
    EXPECT_EQ(line.port, 255);
    EXPECT_EQ(line.baud, 9600);
    EXPECT_TRUE(line.noWait);
    EXPECT_TRUE(line.unattended());

    ASSERT_TRUE(parse({"--web-package", "--no-wait"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::WebPackage);
    ASSERT_TRUE(parse({"--baud", "4000000"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::Update);
    EXPECT_TRUE(line.unattended());
}

TEST(CommandLine, EveryMalformedLineIsRefusedWithAReason)
{
    const std::vector<std::vector<const char *>> refused = {
        {"--port"},
        {"--port", ""},
        {"--port", "+3"},
        {"--port", " 3"},
        {"--port", "99999999999999999999"},
        {"--port", "256"},
        {"--baud", "4000001"},
        {"--baud", "0x10"},
        {"--baud", "9600", "--baud", "9600"},
        {"--no-wait", "--no-wait"},
        {"--info", "--info"},
        {"--help", "--port", "3"},
        {"--version", "--baud", "9600"},
        {"--info=yes"},
        {"--"},
        {"-"},
        {"--PORT", "3"},
    };
    for (const auto &args : refused) {
        CommandLine line;
        std::string error;
        EXPECT_FALSE(parse(args, line, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(CommandLine, UsageListsEveryOptionAndExitStatus)
{
    const std::string usage = usageText("tool");
    for (const char *text : {"Usage: tool", "--port N", "--baud B", "--info", "--no-wait", "--web-package",
                             "--version", "--help", "UP TO DATE", "\n  3 ", "\n  255 "})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
}

TEST(CarriedVersions, FileNamesOfTheUsualShapeGiveTheirVersions)
{
    const McuVersion mcu = mcuVersionFromFileName("M418260_MCU_61_1_02.hex");
    ASSERT_TRUE(mcu.known);
    EXPECT_EQ(formatMcuVersion(mcu), "61.01.02");
    const LogicVersion tx = logicVersionFromFileName("M418260_TX_XC7A75_1_02.mcs", "TX");
    ASSERT_TRUE(tx.known);
    EXPECT_EQ(formatLogicVersion(tx), "XC7A75 1.02");
    EXPECT_EQ(formatLogicVersion(logicVersionFromFileName("P_RX_XC7A100_12_345.mcs", "RX")), "XC7A100 12.345");

    // The tool's own catalogue.
    EXPECT_EQ(formatMcuVersion(carriedMcuVersion()), "61.01.02");
    EXPECT_EQ(formatLogicVersion(carriedLogicVersion(true)), "XC7A75 1.02");
    EXPECT_EQ(formatLogicVersion(carriedLogicVersion(false)), "XC7A75 1.02");
}

TEST(CarriedVersions, NamesOfAnotherShapeLeaveTheVersionUnknown)
{
    for (const char *name : {"M418260_MCU_61_1_02.bin", "M418260_MCU_61_1.hex", "M418260_MCU_61_1_02_3.hex",
                             "M418260_FW_61_1_02.hex", "M418260_MCU_61_x_02.hex", "M418260_MCU__1_02.hex",
                             "M418260_MCU_61_1_02.hex.hex", "M418260_MCU_99999_1_02.hex", ".hex", ""})
        EXPECT_FALSE(mcuVersionFromFileName(name).known) << name;
    for (const char *name : {"M418260_RX_XC7A75_1_02.mcs", "M418260_TX_XC7A75_1.mcs", "M418260_TX_XC7A75-1_1_02.mcs",
                             "M418260_TX_XC7A750T_1_02.mcs", "M418260_TX_XC7A75_1_02.hex"})
        EXPECT_FALSE(logicVersionFromFileName(name, "TX").known) << name;
    EXPECT_EQ(formatMcuVersion(McuVersion()), "unknown");
    EXPECT_EQ(formatLogicVersion(LogicVersion()), "unknown");
}

// The options of --all and of the progress events.
std::string refusal(std::vector<const char *> args)
{
    CommandLine line;
    std::string error;
    EXPECT_FALSE(parse(args, line, error));
    return error;
}

TEST(CommandLine, AllTakesNoWaitProgressAndAFolderForTheTraces)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--all"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_TRUE(line.waitsForKey());
    EXPECT_EQ(line.logDir, "");

    ASSERT_TRUE(parse({"--log-dir", "/tmp/traces", "--all", "--no-wait", "--progress=json"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_EQ(line.logDir, "/tmp/traces");
    EXPECT_EQ(line.progress, ProgressFormat::Json);
    EXPECT_FALSE(line.waitsForKey());
}

TEST(CommandLine, TheRackTakesNamedPortsRetriesAReportAndInfo)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--port", "3", "--all", "--port=/dev/ttyUSB1", "--port", "com7", "--retries", "5", "--report",
                       "r.json"},
                      line, error))
        << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_FALSE(line.allInfo);
    ASSERT_EQ(line.rackPorts.size(), 3u);
    EXPECT_EQ(line.rackPorts[0].port, 3);
    EXPECT_EQ(line.rackPorts[1].path, "/dev/ttyUSB1");
    EXPECT_EQ(line.rackPorts[2].port, 7);
    // The rack's ports are its own: no single port is named, so the rack asks nothing.
    EXPECT_FALSE(line.namesPort());
    EXPECT_EQ(line.retries, 5);
    EXPECT_EQ(line.reportFile, "r.json");

    ASSERT_TRUE(parse({"--info", "--no-wait", "--all", "--port", "2", "--log-dir", "d", "--progress", "json"}, line,
                      error))
        << error;
    EXPECT_EQ(line.mode, RunMode::All);
    EXPECT_TRUE(line.allInfo);
    EXPECT_EQ(line.rackPorts.size(), 1u);
    EXPECT_FALSE(line.leavesCurrentUnits() && line.ifNeeded);

    // A single run keeps its one port where it always did.
    ASSERT_TRUE(parse({"--port", "/dev/ttyACM0", "--report", "one.json"}, line, error)) << error;
    EXPECT_EQ(line.portPath, "/dev/ttyACM0");
    EXPECT_TRUE(line.rackPorts.empty());
    ASSERT_TRUE(parse({"--info", "--port", "COM9"}, line, error)) << error;
    EXPECT_EQ(line.port, 9);
    EXPECT_FALSE(line.allInfo);
}

TEST(CommandLine, JsonProgressMakesARunUnattendedWithoutAKeyWait)
{
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--progress", "json"}, line, error)) << error;
    EXPECT_EQ(line.mode, RunMode::Update);
    EXPECT_TRUE(line.unattended());
    EXPECT_FALSE(line.waitsForKey());

    ASSERT_TRUE(parse({"--info", "--port", "3", "--progress", "console"}, line, error)) << error;
    EXPECT_EQ(line.progress, ProgressFormat::Console);
    EXPECT_TRUE(line.waitsForKey());
}

TEST(CommandLine, RackAndProgressOptionsAreRefusedWhereTheyDoNotFit)
{
    EXPECT_EQ(refusal({"--progress", "xml"}), "--progress takes \"console\" or \"json\", not \"xml\"");
    EXPECT_EQ(refusal({"--progress"}), "--progress needs a value");
    EXPECT_EQ(refusal({"--progress", "json", "--progress", "json"}), "--progress is given twice");
    EXPECT_EQ(refusal({"--all", "--log-dir="}), "--log-dir needs a folder");
    EXPECT_EQ(refusal({"--all", "--log-dir", "a", "--log-dir", "b"}), "--log-dir is given twice");
    EXPECT_EQ(refusal({"--log-dir", "a"}), "--log-dir goes with --all only");
    EXPECT_EQ(refusal({"--port", "3", "--port", "4"}), "--port is given twice");
    EXPECT_EQ(refusal({"--info", "--port", "3", "--port=COM4"}), "--port is given twice");
    EXPECT_EQ(refusal({"--all", "--port", "0"}).rfind("--port takes a COM port number", 0), 0u);
    EXPECT_EQ(refusal({"--all", "--baud", "9600"}), "--baud does not go with --all");
    EXPECT_EQ(refusal({"--all", "--info", "--web-package"}), "--web-package and --all --info cannot be given together");
    EXPECT_EQ(refusal({"--info", "--all", "--all"}), "--all is given twice");
    EXPECT_EQ(refusal({"--all", "--info", "--verify"}), "--verify does not go with --all --info");
    EXPECT_EQ(refusal({"--allow-older", "--info", "--all"}), "--allow-older does not go with --all --info");
    EXPECT_EQ(refusal({"--all", "--info", "--baud", "9600"}), "--baud does not go with --all --info");
    EXPECT_EQ(refusal({"--retries", "1"}), "--retries goes with --all only");
    EXPECT_EQ(refusal({"--info", "--retries=0"}), "--retries goes with --all only");
    EXPECT_EQ(refusal({"--all", "--retries", "6"}), "--retries takes a number from 0 to 5, not \"6\"");
    EXPECT_EQ(refusal({"--all", "--retries", "1", "--retries", "1"}), "--retries is given twice");
    EXPECT_EQ(refusal({"--all", "--report="}), "--report needs a file name");
    EXPECT_EQ(refusal({"--web-package", "--report", "r.json"}), "--report does not go with --web-package");
    EXPECT_EQ(refusal({"--list-ports", "--report", "r.json"}), "--report does not go with --list-ports");
    EXPECT_EQ(refusal({"--web-package", "--progress", "json"}), "--progress does not go with --web-package");
    EXPECT_EQ(refusal({"--all", "--all"}), "--all is given twice");
    EXPECT_EQ(refusal({"--help", "--port", "3", "--help"}), "--help is given twice");
    EXPECT_EQ(refusal({"--bogus=1"}), "unknown option \"--bogus\"");
}

TEST(CommandLine, UpdateChecksGoWithTheUpdateAndTheRackOnly)
{
    CommandLine line;
    std::string error;
    // The plain run checks nothing more unless asked; an unattended one or a rack always verifies.
    ASSERT_TRUE(parse({}, line, error));
    EXPECT_FALSE(line.verifiesAfterReboot());
    EXPECT_FALSE(line.leavesCurrentUnits());
    ASSERT_TRUE(parse({"--verify"}, line, error)) << error;
    EXPECT_TRUE(line.verifiesAfterReboot());
    EXPECT_FALSE(line.leavesCurrentUnits());
    ASSERT_TRUE(parse({"--port", "3"}, line, error)) << error;
    EXPECT_TRUE(line.verifiesAfterReboot());
    ASSERT_TRUE(parse({"--if-needed", "--allow-older", "--allow-reinstall"}, line, error)) << error;
    EXPECT_TRUE(line.leavesCurrentUnits() && line.allowOlder && line.allowReinstall);
    ASSERT_TRUE(parse({"--all", "--allow-reinstall"}, line, error)) << error;
    EXPECT_TRUE(line.verifiesAfterReboot() && line.leavesCurrentUnits() && line.allowReinstall);

    EXPECT_EQ(refusal({"--info", "--verify"}), "--verify does not go with --info");
    EXPECT_EQ(refusal({"--if-needed", "--web-package"}), "--if-needed does not go with --web-package");
    EXPECT_EQ(refusal({"--allow-older"}), "--allow-older goes with --all or --if-needed only");
    EXPECT_EQ(refusal({"--verify", "--allow-reinstall"}), "--allow-reinstall goes with --all or --if-needed only");
    EXPECT_EQ(refusal({"--list-ports", "--allow-reinstall", "--if-needed"}), "--if-needed does not go with --list-ports");
    EXPECT_EQ(refusal({"--if-needed", "--if-needed"}), "--if-needed is given twice");
    EXPECT_EQ(refusal({"--verify=1"}), "--verify takes no value");
}

TEST(CarriedVersions, AUnitStandsAgainstTheCarriedVersionsAsNumbers)
{
    // The catalogue carries 61.01.02 and XC7A75 1.02 for both types.
    const auto unit = [](int v, int r, int s, const char *model, int lv, int lr) {
        UnitVersions versions = {v, r, s, "", lv, lr, 7, 1};
        snprintf(versions.model, sizeof versions.model, "%s", model);
        return versions;
    };
    EXPECT_EQ(versionStanding(unit(61, 1, 2, "XC7A75", 1, 2), true), VersionStanding::Current);
    EXPECT_EQ(versionStanding(unit(61, 1, 2, "XC7A75", 1, 2), false), VersionStanding::Current);
    EXPECT_EQ(versionStanding(unit(61, 1, 1, "XC7A75", 1, 2), true), VersionStanding::Outdated);
    EXPECT_EQ(versionStanding(unit(60, 9, 99, "XC7A75", 1, 3), true), VersionStanding::Newer);
    EXPECT_EQ(versionStanding(unit(61, 2, 0, "XC7A75", 0, 1), true), VersionStanding::Newer);
    EXPECT_EQ(versionStanding(unit(61, 1, 10, "XC7A75", 1, 2), true), VersionStanding::Newer);
    // Versions of another logic model are not ordered against the carried one.
    EXPECT_EQ(versionStanding(unit(61, 1, 2, "XC7A35", 9, 9), true), VersionStanding::Outdated);
    EXPECT_EQ(formatUnitVersions(unit(62, 0, 3, "XC7A75", 1, 2)), "62.00.03, XC7A75 1.02");
    EXPECT_EQ(formatCarriedVersions(true), "61.01.02, XC7A75 1.02");
    UnitVersions unread = unit(0, 0, 0, "", 0, 0);
    unread.complete = 0;
    EXPECT_EQ(formatUnitVersions(unread), "unknown");
}

// The option as a whole word: "--log" is not found inside "--log-dir".
bool namesOption(const std::string &text, const std::string &option)
{
    for (size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
        const char after = at + option.size() < text.size() ? text[at + option.size()] : ' ';
        if (after != '-' && !(after >= 'a' && after <= 'z')) {
            return true;
        }
    }
    return false;
}

TEST(CommandLine, EveryOptionIsInTheHelpAndTheReadme)
{
    const std::string help = usageText("RavelinFwUpgrade");
    std::string readme;
    if (FILE *file = fopen(RAVELIN_SOURCE_DIR "/README.md", "rb")) {
        char chunk[4096];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;) {
            readme.append(chunk, got);
        }
        fclose(file);
    }
    ASSERT_FALSE(readme.empty());
    const std::vector<std::string> options = commandLineOptionNames();
    EXPECT_EQ(options.size(), 18u);
    for (const std::string &option : options) {
        EXPECT_TRUE(namesOption(help, option)) << option << " is not in --help";
        EXPECT_TRUE(namesOption(readme, option)) << option << " is not in the README";
    }
}

TEST(CommandLine, HelpNamesTheRackAndTheEvents)
{
    const std::string help = usageText("RavelinFwUpgrade");
    for (const char *option : {"--all", "--log-dir DIR", "--progress json", "--verify", "--if-needed",
                               "--allow-reinstall", "--allow-older", "  4    the unit restarted"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
