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

struct ModeOption {
    const char *name;
    RunMode mode;
};

const ModeOption kModeOptions[] = {
    {"--info", RunMode::Info},
    {"--all", RunMode::All},
    {"--web-package", RunMode::WebPackage},
    {"--list-ports", RunMode::ListPorts},
    {"--version", RunMode::Version},
    {"--help", RunMode::Help},
};

const char *modeName(RunMode mode)
{
    for (const ModeOption &option : kModeOptions) {
        if (option.mode == mode) {
            return option.name;
        }
    }
    return "the update";
}

bool modeTakesConnection(RunMode mode)
{
    return mode == RunMode::Update || mode == RunMode::Info;
}

bool modeTakesNoWait(RunMode mode)
{
    return mode == RunMode::Update || mode == RunMode::Info || mode == RunMode::All || mode == RunMode::WebPackage;
}

bool modeTakesProgress(RunMode mode)
{
    return mode == RunMode::Update || mode == RunMode::Info || mode == RunMode::All;
}

bool readProgressOption(const std::string &value, CommandLine &line, std::string &error)
{
    if (line.progressGiven) {
        error = "--progress is given twice";
        return false;
    }
    if (value != "console" && value != "json") {
        error = "--progress takes \"console\" or \"json\", not \"" + value + "\"";
        return false;
    }
    line.progressGiven = true;
    line.progress = value == "json" ? ProgressFormat::Json : ProgressFormat::Console;
    return true;
}

bool readLogDirOption(const std::string &value, CommandLine &line, std::string &error)
{
    if (!line.logDir.empty()) {
        error = "--log-dir is given twice";
        return false;
    }
    if (value.empty()) {
        error = "--log-dir needs a folder";
        return false;
    }
    line.logDir = value;
    return true;
}

bool modeTakesLog(RunMode mode)
{
    return mode == RunMode::Update || mode == RunMode::Info || mode == RunMode::WebPackage;
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

// A COM number ("7"), a COM name ("COM7") or a device path.
bool parsePort(const std::string &value, CommandLine &line, std::string &error)
{
    if (line.namesPort()) {
        error = "--port is given twice";
        return false;
    }
    if (isDevicePath(value)) {
        line.portPath = value;
        return true;
    }
    const std::string number = isDecimal(value) ? value : comNameNumber(value);
    if (number.empty() || !parseNumber(number, 1, COMMAND_LINE_LAST_PORT, line.port)) {
        error = "--port takes a COM port number from 1 to 255, a COM name (COM7) or a device path (/dev/ttyUSB0), "
                "not \"" + value + "\"";
        return false;
    }
    return true;
}

// The options without a value; null for any other name.
bool *flagOption(const std::string &name, CommandLine &line)
{
    if (name == "--no-wait") {
        return &line.noWait;
    }
    if (name == "--verify") {
        return &line.verify;
    }
    if (name == "--if-needed") {
        return &line.ifNeeded;
    }
    if (name == "--allow-reinstall") {
        return &line.allowReinstall;
    }
    if (name == "--allow-older") {
        return &line.allowOlder;
    }
    return nullptr;
}

// The checks around the update: --verify and --if-needed go with the update
// (and with --all, which does both anyway); --allow-reinstall and
// --allow-older lift what only a run that leaves units alone does.
bool checkUpdatePolicy(const CommandLine &line, std::string &error)
{
    const bool updates = line.mode == RunMode::Update || line.mode == RunMode::All;
    if ((line.verify || line.ifNeeded) && !updates) {
        error = std::string(line.verify ? "--verify" : "--if-needed") + " does not go with " + modeName(line.mode);
        return false;
    }
    if ((line.allowReinstall || line.allowOlder) && !(updates && line.leavesCurrentUnits())) {
        error = std::string(line.allowReinstall ? "--allow-reinstall" : "--allow-older") +
                " goes with --all or --if-needed only";
        return false;
    }
    return true;
}

}  // namespace

bool parseCommandLine(int argc, const char *const *argv, CommandLine &line, std::string &error)
{
    line = CommandLine();
    bool modeGiven = false;
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

        if (name == "--port" || name == "--baud" || name == "--log" || name == "--progress" || name == "--log-dir") {
            if (!valueInline) {
                if (i + 1 >= argc) {
                    error = name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            if (name == "--port") {
                if (!parsePort(value, line, error)) {
                    return false;
                }
            } else if (name == "--progress") {
                if (!readProgressOption(value, line, error)) {
                    return false;
                }
            } else if (name == "--log-dir") {
                if (!readLogDirOption(value, line, error)) {
                    return false;
                }
            } else if (name == "--log") {
                if (!line.logFile.empty()) {
                    error = "--log is given twice";
                    return false;
                }
                if (value.empty()) {
                    error = "--log needs a file name";
                    return false;
                }
                line.logFile = value;
            } else {
                if (line.baud != 0) {
                    error = "--baud is given twice";
                    return false;
                }
                if (!parseNumber(value, 1, MAX_BAUD_RATE, line.baud)) {
                    error = "--baud takes a baud rate from 1 to 4000000, not \"" + value + "\"";
                    return false;
                }
            }
            continue;
        }
        if (valueInline) {
            error = name + " takes no value";
            return false;
        }
        if (bool *flag = flagOption(name, line)) {
            if (*flag) {
                error = name + " is given twice";
                return false;
            }
            *flag = true;
            continue;
        }
        bool known = false;
        for (const ModeOption &option : kModeOptions) {
            if (name == option.name) {
                if (modeGiven) {
                    error = name + " and " + modeName(line.mode) + " cannot be given together";
                    return false;
                }
                line.mode = option.mode;
                modeGiven = known = true;
            }
        }
        if (!known) {
            error = "unknown option \"" + name + "\"";
            return false;
        }
    }

    if ((line.namesPort() || line.baud != 0) && !modeTakesConnection(line.mode)) {
        error = std::string(line.namesPort() ? "--port" : "--baud") + " does not go with " + modeName(line.mode);
        return false;
    }
    if (!line.logFile.empty() && !modeTakesLog(line.mode)) {
        error = std::string("--log does not go with ") + modeName(line.mode);
        return false;
    }
    if (line.noWait && !modeTakesNoWait(line.mode)) {
        error = std::string("--no-wait does not go with ") + modeName(line.mode);
        return false;
    }
    if (line.progressGiven && !modeTakesProgress(line.mode)) {
        error = std::string("--progress does not go with ") + modeName(line.mode);
        return false;
    }
    if (!line.logDir.empty() && line.mode != RunMode::All) {
        error = "--log-dir goes with --all only";
        return false;
    }
    return checkUpdatePolicy(line, error);
}

std::string usageText(const char *program)
{
    std::string text = "Usage: ";
    text += program;
    text += " [--port N|PATH] [--baud B] [--info] [--no-wait] [--log FILE]\n"
            "       [--progress json] [--verify] [--if-needed [--allow-reinstall] [--allow-older]]\n"
            "       ";
    text += program;
    text += " --all [--no-wait] [--progress json] [--log-dir DIR]\n"
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
            "       and verified, up to date or newer, or none was found\n"
            "  2    usage: an unknown or malformed option, or a --log FILE that cannot be\n"
            "       written\n"
            "  3    the images were sent and accepted, but the unit did not confirm\n"
            "       (no prompt after the reboot)\n"
            "  4    the unit restarted but does not run the carried versions (checked\n"
            "       after the reboot; see --verify)\n"
            "  255  (-1) the port or the baud rate typed at the prompts could not be used\n";
    return text;
}
