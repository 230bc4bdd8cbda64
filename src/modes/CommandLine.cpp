#include "CommandLine.h"

#include <cstring>

#include "ToolVersion.h"
#include "WebPackageMode.h"

namespace {

#define MAX_BAUD_RATE 4000000

// A whole decimal number in [min, max]: digits only, no sign, no blanks.
bool parseNumber(const std::string &text, long min, long max, int &value)
{
    if (text.empty() || text.size() > 9) {
        return false;
    }
    long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    if (number < min || number > max) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool isDecimal(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The digits of "COM7", in any case: the name Windows users know their ports
// by. Empty when the text is not such a name.
std::string comNameNumber(const std::string &text)
{
    if (text.size() < 4 || (text[0] | 0x20) != 'c' || (text[1] | 0x20) != 'o' || (text[2] | 0x20) != 'm') {
        return "";
    }
    const std::string digits = text.substr(3);
    return isDecimal(digits) ? digits : "";
}

// A device path names its folder: "/dev/ttyUSB0", "./ttyACM1", "\\.\COM12".
bool isDevicePath(const std::string &text)
{
    return text.find_first_of("/\\") != std::string::npos;
}

// A COM number ("7"), a COM name ("COM7") or a device path. Every one is
// kept in order until the mode is known: a rack takes several, a single
// run one (placePorts).
bool readPort(const std::string &value, CommandLine &line, std::string &error)
{
    NamedPort named;
    if (isDevicePath(value)) {
        named.path = value;
    } else {
        const std::string number = isDecimal(value) ? value : comNameNumber(value);
        if (number.empty() || !parseNumber(number, 1, COMMAND_LINE_LAST_PORT, named.port)) {
            error = "--port takes a COM port number from 1 to 255, a COM name (COM7) or a device path "
                    "(/dev/ttyUSB0), not \"" + value + "\"";
            return false;
        }
    }
    line.rackPorts.push_back(named);
    return true;
}

// A single run keeps its one port in `port` or `portPath`.
void placePorts(CommandLine &line)
{
    if (line.mode == RunMode::All || line.rackPorts.empty()) {
        return;
    }
    line.port = line.rackPorts.front().port;
    line.portPath = line.rackPorts.front().path;
    line.rackPorts.clear();
}

bool readBaud(const std::string &value, CommandLine &line, std::string &error)
{
    if (!parseNumber(value, 1, MAX_BAUD_RATE, line.baud)) {
        error = "--baud takes a baud rate from 1 to 4000000, not \"" + value + "\"";
        return false;
    }
    return true;
}

bool readLog(const std::string &value, CommandLine &line, std::string &error)
{
    if (value.empty()) {
        error = "--log needs a file name";
        return false;
    }
    line.logFile = value;
    return true;
}

bool readProgress(const std::string &value, CommandLine &line, std::string &error)
{
    if (value != "console" && value != "json") {
        error = "--progress takes \"console\" or \"json\", not \"" + value + "\"";
        return false;
    }
    line.progress = value == "json" ? ProgressFormat::Json : ProgressFormat::Console;
    return true;
}

bool readLogDir(const std::string &value, CommandLine &line, std::string &error)
{
    if (value.empty()) {
        error = "--log-dir needs a folder";
        return false;
    }
    line.logDir = value;
    return true;
}

bool readRetries(const std::string &value, CommandLine &line, std::string &error)
{
    if (!parseNumber(value, 0, COMMAND_LINE_MOST_RETRIES, line.retries)) {
        error = "--retries takes a number from 0 to 5, not \"" + value + "\"";
        return false;
    }
    return true;
}

bool readReport(const std::string &value, CommandLine &line, std::string &error)
{
    if (value.empty()) {
        error = "--report needs a file name";
        return false;
    }
    line.reportFile = value;
    return true;
}

enum class OptionKind {
    Value,  // takes a value, after '=' or as the next argument
    Flag,   // sets a switch of the record
    Mode,   // chooses the run mode
};

// The modes that take an option, as bits.
constexpr unsigned modeBit(RunMode mode) { return 1u << static_cast<unsigned>(mode); }
constexpr unsigned kUpdate = modeBit(RunMode::Update);
constexpr unsigned kInfo = modeBit(RunMode::Info);
constexpr unsigned kAll = modeBit(RunMode::All);
constexpr unsigned kWebPackage = modeBit(RunMode::WebPackage);
// --all --info, which takes fewer options than --all.
constexpr unsigned kAllInfo = 1u << 16;

unsigned lineModeBit(const CommandLine &line)
{
    return line.allInfo ? kAllInfo : modeBit(line.mode);
}

using ValueReader = bool (*)(const std::string &value, CommandLine &line, std::string &error);

struct OptionSpec {
    const char *name;
    OptionKind kind;
    ValueReader read;                // Value: reads the value into the record
    bool CommandLine::*flag;         // Flag: the switch it sets
    RunMode mode;                    // Mode: the mode it chooses
    unsigned takenBy;                // Value and Flag: the modes that take it
    unsigned repeatedBy;             // the modes that take it more than once
    bool leavingAloneOnly;           // taken only by a run that leaves current units alone
    const char *refusal;             // the message when refused by the mode; null: "does not go with <mode>"
};

// Every option. The mode checks run in this order, so that of two refused
// options the first here is named.
const OptionSpec kOptions[] = {
    {"--port", OptionKind::Value, readPort, nullptr, RunMode::Update, kUpdate | kInfo | kAll | kAllInfo,
     kAll | kAllInfo, false, nullptr},
    {"--baud", OptionKind::Value, readBaud, nullptr, RunMode::Update, kUpdate | kInfo, 0, false, nullptr},
    {"--log", OptionKind::Value, readLog, nullptr, RunMode::Update, kUpdate | kInfo | kWebPackage, 0, false, nullptr},
    {"--no-wait", OptionKind::Flag, nullptr, &CommandLine::noWait, RunMode::Update,
     kUpdate | kInfo | kAll | kAllInfo | kWebPackage, 0, false, nullptr},
    {"--progress", OptionKind::Value, readProgress, nullptr, RunMode::Update, kUpdate | kInfo | kAll | kAllInfo, 0,
     false, nullptr},
    {"--log-dir", OptionKind::Value, readLogDir, nullptr, RunMode::Update, kAll | kAllInfo, 0, false,
     "--log-dir goes with --all only"},
    {"--retries", OptionKind::Value, readRetries, nullptr, RunMode::Update, kAll | kAllInfo, 0, false,
     "--retries goes with --all only"},
    {"--report", OptionKind::Value, readReport, nullptr, RunMode::Update, kUpdate | kInfo | kAll | kAllInfo, 0,
     false, nullptr},
    {"--verify", OptionKind::Flag, nullptr, &CommandLine::verify, RunMode::Update, kUpdate | kAll, 0, false, nullptr},
    {"--if-needed", OptionKind::Flag, nullptr, &CommandLine::ifNeeded, RunMode::Update, kUpdate | kAll, 0, false,
     nullptr},
    // They lift what only a run that leaves units alone does.
    {"--allow-reinstall", OptionKind::Flag, nullptr, &CommandLine::allowReinstall, RunMode::Update, kUpdate | kAll, 0,
     true, "--allow-reinstall goes with --all or --if-needed only"},
    {"--allow-older", OptionKind::Flag, nullptr, &CommandLine::allowOlder, RunMode::Update, kUpdate | kAll, 0, true,
     "--allow-older goes with --all or --if-needed only"},
    {"--info", OptionKind::Mode, nullptr, nullptr, RunMode::Info, 0, 0, false, nullptr},
    {"--all", OptionKind::Mode, nullptr, nullptr, RunMode::All, 0, 0, false, nullptr},
    {"--web-package", OptionKind::Mode, nullptr, nullptr, RunMode::WebPackage, 0, 0, false, nullptr},
    {"--list-ports", OptionKind::Mode, nullptr, nullptr, RunMode::ListPorts, 0, 0, false, nullptr},
    {"--version", OptionKind::Mode, nullptr, nullptr, RunMode::Version, 0, 0, false, nullptr},
    {"--help", OptionKind::Mode, nullptr, nullptr, RunMode::Help, 0, 0, false, nullptr},
};
constexpr size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];

const OptionSpec *findOption(const std::string &name)
{
    for (const OptionSpec &option : kOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

const char *modeName(RunMode mode)
{
    for (const OptionSpec &option : kOptions) {
        if (option.kind == OptionKind::Mode && option.mode == mode) {
            return option.name;
        }
    }
    return "the update";
}

// The run's mode as the refusals name it.
std::string lineModeName(const CommandLine &line)
{
    return line.allInfo ? "--all --info" : modeName(line.mode);
}

bool takenByMode(const OptionSpec &option, const CommandLine &line)
{
    return (option.takenBy & lineModeBit(line)) != 0 && (!option.leavingAloneOnly || line.leavesCurrentUnits());
}

// --info with --all identifies every unit of the rack.
bool modesCombine(const OptionSpec &first, const OptionSpec &second)
{
    return (first.mode == RunMode::All && second.mode == RunMode::Info) ||
           (first.mode == RunMode::Info && second.mode == RunMode::All);
}

}  // namespace

bool parseCommandLine(int argc, const char *const *argv, CommandLine &line, std::string &error)
{
    line = CommandLine();
    int given[kOptionCount] = {};
    const OptionSpec *modeOption = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool valueInline = false;
        const size_t equals = name.find('=');
        if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            valueInline = true;
        }
        const OptionSpec *option = findOption(name);
        if (option == nullptr) {
            error = "unknown option \"" + name + "\"";
            return false;
        }
        if (option->kind != OptionKind::Value && valueInline) {
            error = name + " takes no value";
            return false;
        }
        if (option->kind == OptionKind::Value && !valueInline) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        // Whether the mode takes it again is known once every mode option is read.
        int &seen = given[option - kOptions];
        if (seen > 0 && option->repeatedBy == 0) {
            error = name + " is given twice";
            return false;
        }
        ++seen;
        switch (option->kind) {
        case OptionKind::Value:
            if (!option->read(value, line, error)) {
                return false;
            }
            break;
        case OptionKind::Flag:
            line.*(option->flag) = true;
            break;
        case OptionKind::Mode:
            if (modeOption != nullptr && !modesCombine(*modeOption, *option)) {
                error = name + " and " + (line.allInfo ? "--all --info" : modeOption->name) +
                        " cannot be given together";
                return false;
            }
            line.allInfo = modeOption != nullptr;
            line.mode = line.allInfo ? RunMode::All : option->mode;
            modeOption = option;
            break;
        }
    }

    for (size_t index = 0; index < kOptionCount; ++index) {
        const OptionSpec &option = kOptions[index];
        if (given[index] > 1 && (option.repeatedBy & lineModeBit(line)) == 0) {
            error = std::string(option.name) + " is given twice";
            return false;
        }
    }
    placePorts(line);
    for (size_t index = 0; index < kOptionCount; ++index) {
        const OptionSpec &option = kOptions[index];
        if (given[index] > 0 && option.kind != OptionKind::Mode && !takenByMode(option, line)) {
            // A named refusal speaks of the modes that take the option; --all
            // --info is named as itself.
            error = option.refusal != nullptr && !line.allInfo
                        ? option.refusal
                        : std::string(option.name) + " does not go with " + lineModeName(line);
            return false;
        }
    }
    return true;
}

std::vector<std::string> commandLineOptionNames(void)
{
    std::vector<std::string> names;
    for (const OptionSpec &option : kOptions) {
        names.push_back(option.name);
    }
    return names;
}

std::string usageText(const char *program)
{
    std::string text = "Usage: ";
    text += program;
    text += " [--port N|PATH] [--baud B] [--info] [--no-wait] [--log FILE]\n"
            "       [--progress json] [--verify] [--if-needed [--allow-reinstall] [--allow-older]]\n"
            "       [--report FILE]\n"
            "       ";
    text += program;
    text += " --all [--info] [--port N|PATH]... [--retries N]\n"
            "       [--no-wait] [--progress json] [--log-dir DIR] [--report FILE]\n"
            "       [--allow-reinstall] [--allow-older]\n"
            "       ";
    text += program;
    text += " --web-package [--no-wait] [--log FILE]\n"
            "       ";
    text += program;
    text += " --list-ports | --version | --help\n"
            "\n"
            "With no option, finds the unit on COM1..COM32 at 115200, 9600, 57600, 4800, 2400\n"
            "and 1200 baud, asks for the port and the rate when none answers, and updates the\n"
            "unit's firmware to version " FIRMWARE_VERSION_TO_UPLOAD ". On Linux, COM N is /dev/ttyS<N-1>, and\n"
            "the USB serial adapters (/dev/ttyUSB*, /dev/ttyACM*) are tried after COM32.\n"
            "\n"
            "Options:\n"
            "  --port N       use COM N alone (1 to 255; COMN works too); the six rates are\n"
            "                 tried on it\n"
            "  --port PATH    use the device PATH alone (/dev/ttyUSB0), as --port N\n"
            "  --baud B       the unit's command rate: only B is tried; with --port the port\n"
            "                 is opened at B and nothing is tried\n"
            "  --info         identify the unit and write nothing to it: its port, rate,\n"
            "                 versions, TX or RX, the versions this tool carries, and\n"
            "                 \"UP TO DATE\", \"UPDATE NEEDED\" or \"NEWER THAN CARRIED\"\n"
            "  --all          update every unit found, all at the same time: every port that\n"
            "                 exists is searched by a process of its own (at most 32 at\n"
            "                 once; the others wait their turn), with a board of one line\n"
            "                 per port and a summary at the end. A unit that\n"
            "                 already runs the carried versions is left alone\n"
            "                 (\"up to date\"), so is one that runs newer versions (\"newer\n"
            "                 than carried\"); every unit updated is checked after its reboot\n"
            "  --all --info   identify every unit found, all at the same time, and write\n"
            "                 nothing to any: a verdict a port (\"up to date\", \"update\n"
            "                 needed\", \"newer than carried\", \"not supported\", \"no unit\");\n"
            "                 exit status 0 when a unit was found and every unit found was\n"
            "                 identified\n"
            "  --all --port N|PATH ...\n"
            "                 --port given once or more with --all: only the ports named are\n"
            "                 searched, in that order; one that does not exist has its row\n"
            "                 (\"no such port\")\n"
            "  --retries N    with --all: a port whose process failed (not: no unit, up to\n"
            "                 date, newer, not supported, stopped) is run again from its\n"
            "                 search, up to N more times (0 to 5; default 0)\n"
            "  --report FILE  with the update, --info, --all and --all --info: write one JSON\n"
            "                 document of the run to FILE (tool, host, start and end, one\n"
            "                 record a port, counts, exit status; see the README), created\n"
            "                 new and renamed into place, never over a link or anything but\n"
            "                 a regular file\n"
            "  --verify       after the reboot, ask the unit for its versions again and\n"
            "                 compare them with the carried ones (always done with --all,\n"
            "                 --port, --baud, --no-wait and --progress json)\n"
            "  --if-needed    leave a unit alone when it already runs the carried versions,\n"
            "                 or newer ones: nothing is sent to it, and the exit status is 0\n"
            "  --allow-reinstall\n"
            "                 with --all or --if-needed: update a unit that already runs the\n"
            "                 carried versions all the same\n"
            "  --allow-older  with --all or --if-needed: install the carried versions on a\n"
            "                 unit that runs newer ones\n"
            "  --log-dir DIR  with --all: where the trace of each port goes (default: the\n"
            "                 current directory)\n"
            "  --progress json\n"
            "                 instead of the console picture, one JSON object a line on\n"
            "                 stdout: port, baud, type, versions, step, percent, and at the\n"
            "                 end result and message (see the README); asks nothing and\n"
            "                 waits for no key\n"
            "  --no-wait      end without waiting for a key\n"
            "  --log FILE     write a trace of the run to FILE, as it goes: every port\n"
            "                 opened, every command and reply, the image streams piece by\n"
            "                 piece, and the console; for support\n"
            "  --list-ports   list the serial ports that exist and what is known of each,\n"
            "                 and which are in use; sends nothing\n"
            "  --web-package  write the web update package \"" FIRMWARE_FILE_NAME_FOR_WEB "\" in the\n"
            "                 current directory\n"
            "  --version      show this tool's version and the versions it carries\n"
            "  --help         show this text\n"
            "With --port, --baud, --no-wait or --progress json the run asks nothing on the\n"
            "console.\n"
            "\n"
            "Exit status:\n"
            "  0    success: the unit was updated and confirmed (and runs the carried\n"
            "       versions, where they were checked), left alone as up to date or newer,\n"
            "       identified, or the package was written\n"
            "  1    the update or the identification failed, no unit answered, or the\n"
            "       package was not written; with --all: any unit found was not updated\n"
            "       and verified, up to date or newer, or none was found; with --all\n"
            "       --info: any unit found was not identified, or none was found\n"
            "  2    usage: an unknown or malformed option, or a --log FILE, --log-dir DIR\n"
            "       or --report FILE that cannot be written\n"
            "  3    the images were sent and accepted, but the unit did not confirm\n"
            "       (no prompt after the reboot)\n"
            "  4    the unit restarted but could not be verified: it does not run the\n"
            "       carried versions, reports another device or identity, or did not\n"
            "       answer (checked after the reboot; see --verify)\n"
            "  255  (-1) the port or the baud rate typed at the prompts could not be used\n";
    return text;
}
