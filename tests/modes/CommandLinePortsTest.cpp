// The command line's port forms, the port listing and the trace options.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    CommandLine line;
    std::string error;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "RavelinFwUpgrade");
    std::vector<const char *> argv;
    for (const std::string &arg : args) {
        argv.push_back(arg.c_str());
    }
    Parsed parsed;
    parsed.ok = parseCommandLine(static_cast<int>(argv.size()), argv.data(), parsed.line, parsed.error);
    return parsed;
}

}  // namespace

TEST(CommandLinePort, NumbersAndComNamesAreComPortsAndAnythingElseIsADevice)
{
    Parsed number = parse({"--port", "7"});
    ASSERT_TRUE(number.ok) << number.error;
    EXPECT_EQ(number.line.port, 7);
    EXPECT_EQ(number.line.portPath, "");

    for (const char *name : {"COM12", "com12", "Com12"}) {
        Parsed com = parse({std::string("--port=") + name});
        ASSERT_TRUE(com.ok) << name << ": " << com.error;
        EXPECT_EQ(com.line.port, 12) << name;
        EXPECT_EQ(com.line.portPath, "") << name;
    }

    for (const char *path : {"/dev/ttyUSB0", "./ttyACM1", "dev/ttyACM1", "\\\\.\\COM12"}) {
        Parsed device = parse({"--info", "--port", path});
        ASSERT_TRUE(device.ok) << path << ": " << device.error;
        EXPECT_EQ(device.line.port, 0) << path;
        EXPECT_EQ(device.line.portPath, path);
        EXPECT_TRUE(device.line.namesPort());
        EXPECT_TRUE(device.line.unattended());
    }
}

TEST(CommandLinePort, OutOfRangeNumbersEmptyValuesAndRepeatsAreRefused)
{
    // A bare name is neither a number nor a path: ttyUSB0 alone is likely
    // meant as /dev/ttyUSB0, and the tool does not guess.
    for (const char *value : {"0", "256", "COM0", "com256", "0000000000007", "ttyUSB0", "COMX", "COM", "7a", "+3"}) {
        Parsed parsed = parse({"--port", value});
        EXPECT_FALSE(parsed.ok) << value;
        EXPECT_NE(parsed.error.find("--port"), std::string::npos) << parsed.error;
    }
    EXPECT_FALSE(parse({"--port="}).ok);
    EXPECT_FALSE(parse({"--port"}).ok);
    EXPECT_FALSE(parse({"--port", "/dev/ttyUSB0", "--port", "3"}).ok);
    EXPECT_FALSE(parse({"--port", "COM3", "--port", "/dev/ttyUSB0"}).ok);
    EXPECT_FALSE(parse({"--web-package", "--port", "/dev/ttyUSB0"}).ok);
}

TEST(CommandLineModes, ListPortsStandsAlone)
{
    Parsed list = parse({"--list-ports"});
    ASSERT_TRUE(list.ok) << list.error;
    EXPECT_EQ(list.line.mode, RunMode::ListPorts);
    for (std::vector<std::string> extra : {std::vector<std::string>{"--port", "3"}, {"--baud", "9600"},
                                           {"--no-wait"}, {"--log", "trace.txt"}, {"--info"}}) {
        extra.insert(extra.begin(), "--list-ports");
        EXPECT_FALSE(parse(extra).ok) << extra[1];
    }
}

TEST(CommandLineModes, LogGoesWithTheUpdateTheIdentificationAndThePackage)
{
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"--info"}, {"--web-package"}}) {
        args.push_back("--log");
        args.push_back("run trace.txt");
        Parsed parsed = parse(args);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.line.logFile, "run trace.txt");
        // A trace alone keeps the update's console dialogue.
        EXPECT_FALSE(parsed.line.unattended());
    }
    EXPECT_FALSE(parse({"--version", "--log", "t"}).ok);
    EXPECT_FALSE(parse({"--help", "--log", "t"}).ok);
    EXPECT_FALSE(parse({"--log", "a", "--log", "b"}).ok);
    EXPECT_FALSE(parse({"--log="}).ok);
    EXPECT_FALSE(parse({"--log"}).ok);
}

TEST(CommandLineUsage, NamesTheNewOptions)
{
    const std::string usage = usageText("RavelinFwUpgrade");
    for (const char *option : {"--list-ports", "--log FILE", "--port PATH", "/dev/ttyUSB0", "COMN"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}
