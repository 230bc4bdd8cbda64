#include "Options.h"

#include "PtyLink.h"

#include <cerrno>
#include <cstdlib>
#include <cstdint>

namespace {

struct FaultName {
    const char *name;
    Fault fault;
};

const FaultName FAULTS[] = {
    {"silent", Fault::Silent},
    {"short-version", Fault::ShortVersion},
    {"unknown-id", Fault::UnknownId},
    {"not-ready", Fault::NotReady},
    {"bad-stream-reply", Fault::BadStreamReply},
    {"hangup-mid-stream", Fault::HangupMidStream},
    {"flood", Fault::Flood},
    {"no-prompt", Fault::NoPrompt},
    {"bad-prompt", Fault::BadPrompt},
    {"second-try", Fault::SecondTry},
    {"split-reply", Fault::SplitReply},
    {"trailing-crlf", Fault::TrailingCrlf},
    {"nul-in-reply", Fault::NulInReply},
    {"drip", Fault::Drip},
    {"stop-reading-mid-stream", Fault::StopReadingMidStream},
    {"escape-stream-reply", Fault::EscapeStreamReply},
    {"keep-versions", Fault::KeepVersions},
    {"fail-first-stream", Fault::FailFirstStream},
};

bool parseInt(const std::string &text, long min, long max, int &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Any 64-bit number, to try the tool's range checks.
bool parseDeviceCode(const std::string &text, long long &code)
{
    errno = 0;
    char *end = nullptr;
    code = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0';
}

}  // namespace

const char *helpText()
{
    return "Usage: unit-sim --dir DIR [options]\n"
           "\n"
           "Plays a TX or RX extender unit on a pseudo-terminal linked as DIR/comN, so that\n"
           "the update tool (or a Wine prefix's dosdevices folder) finds it as COM N.\n"
           "Prints one line to stdout when the unit is ready. SIGTERM or SIGINT removes\n"
           "the link and exits 0; so does the end of the parent process.\n"
           "\n"
           "Options:\n"
           "  --dir DIR            folder of the comN link (default: $RAVELIN_COM_DIR)\n"
           "  --com N              COM number of the link (default 1)\n"
           "  --link NAME          name of the link instead of comN, such as ttyUSB0 in\n"
           "                       a device folder; a plain name, no '/'\n"
           "  --tty PATH           play the unit on an existing terminal instead of a\n"
           "                       pty of its own (the host end of a virtual machine's\n"
           "                       port, which passes no line settings on): no link is\n"
           "                       made, and the line counts as set to the unit's rate\n"
           "  --baud B             the unit's own command rate (default 115200); the unit\n"
           "                       answers only when the line is set to it; image streams\n"
           "                       and the \"%fw -h\" announcement are taken at 115200 only\n"
           "  --type tx|rx         unit type, decides the identification text (default tx)\n"
           "  --device-code N      device code, the last field of the version (default 7);\n"
           "                       any 64-bit number, to try the tool's range checks\n"
           "  --model TEXT         model word of the version reply (default XC7A75); may\n"
           "                       hold any bytes but NUL, escape sequences included\n"
           "  --mcu-version TEXT   MCU version in the version reply (default 61.1.2)\n"
           "  --logic-version TEXT logic version in the version reply (default 1.2)\n"
           "  --mcu-version-after TEXT\n"
           "                       MCU version in the version reply once a complete\n"
           "                       update has rebooted the unit (default 61.1.2)\n"
           "  --logic-version-after TEXT\n"
           "                       logic version after such an update (default 1.2)\n"
           "  --boot-ms MS         time from the last \"SUCCESS\" to the prompt\n"
           "                       (default 145000)\n"
           "  --reply-delay-after-reboot-ms MS\n"
           "                       once a complete update has rebooted the unit, send\n"
           "                       each reply MS later than at once (the prompt on time)\n"
           "  --silent-after-reboot\n"
           "                       once rebooted, send the prompt and answer nothing\n"
           "  --device-code-after N\n"
           "                       device code in the version reply once rebooted\n"
           "                       (default: the --device-code)\n"
           "  --model-after TEXT   model word in the version reply once rebooted\n"
           "                       (default: the --model)\n"
           "  --save-fpga FILE     write the logic image, as received, to FILE\n"
           "  --save-mcu FILE      write the MCU image, as received, to FILE\n"
           "  --pace               take stream bytes no faster than the line would carry\n"
           "                       them (10 bits a byte at the rate the line is set to)\n"
           "  --wire-log FILE      append every byte received from the line to FILE\n"
           "  --exit-after-prompt  exit 0 once the prompt has been read off the line\n"
           "  --ready-file FILE    write the link path to FILE once ready\n"
           "  --fault NAME         misbehave (repeatable), NAME being one of:\n"
           "      silent             never answer\n"
           "      short-version      version text with fewer than 7 fields\n"
           "      unknown-id         identification text of neither unit type\n"
           "      not-ready          answer announcements with an error, not \"Ready\"\n"
           "      bad-stream-reply   answer a correct image with an error, not \"SUCCESS\"\n"
           "      hangup-mid-stream  after half the logic image, close the pty, remove\n"
           "                         the link and exit 0\n"
           "      flood              from the first command on, send without pause until\n"
           "                         the line stops taking bytes for 1 s, or 60 s pass\n"
           "      no-prompt          never send the prompt\n"
           "      bad-prompt         prompt ending in a single \">\"\n"
           "      second-try         ignore the first \"%help -c version\" at each rate\n"
           "      split-reply        send each reply in two pieces 100 ms apart\n"
           "      trailing-crlf      add \"\\r\\n\" to every reply\n"
           "      nul-in-reply       put a 0x00 byte in the middle of the help reply\n"
           "      drip               answer nothing, but send one byte every 400 ms from the\n"
           "                         start, as a chatty device on the port would\n"
           "      stop-reading-mid-stream  after half the logic image, stop reading the\n"
           "                         line for good and keep it open (its writer stalls)\n"
           "      escape-stream-reply  answer a correct image with an error text that\n"
                 "                         holds terminal escape sequences, a BEL and a CR LF\n"
           "      keep-versions      report the versions it had before after an update, as\n"
           "                         a unit whose new firmware did not take\n"
           "      fail-first-stream  answer the first correct image with an error, as\n"
           "                         bad-stream-reply, and take every later one: a unit\n"
           "                         that a second run updates\n"
           "  --verbose            log what the unit does to stderr\n"
           "  --help               show this text\n"
           "\n"
           "Commands are lines \"%%\" + command ended by \"\\n\\r\" (or \"\\r\\n\", \"\\n\", \"\\r\"):\n"
           "\"%help -c version\", \"%fw -v\", \"%fw -p\", \"%fw -l <checksum> <length>\" and\n"
           "\"%fw -h <checksum> <length>\" (checksum: 0 minus the byte sum, modulo 2^32).\n"
           "After a logic and then an MCU image the unit reboots and sends its prompt.\n"
           "\n"
           "Exit status: 0 when stopped, 1 when the pty or the link cannot be set up,\n"
           "2 for a bad command line.\n";
}

namespace {

std::string *fileOption(Options &options, const std::string &arg)
{
    if (arg == "--save-fpga")
        return &options.saveLogic;
    if (arg == "--save-mcu")
        return &options.saveMcu;
    if (arg == "--wire-log")
        return &options.wireLog;
    if (arg == "--ready-file")
        return &options.readyFile;
    return nullptr;
}

bool setFault(Options &options, const std::string &name)
{
    for (const FaultName &f : FAULTS) {
        if (name == f.name) {
            options.unit.faults.set(static_cast<std::size_t>(f.fault));
            return true;
        }
    }
    return false;
}

// Applies one option that takes a value; false when it is not one of them.
bool setValued(Options &options, const std::string &arg, const std::string &value, bool &ok)
{
    if (std::string *file = fileOption(options, arg)) {
        *file = value;
        ok = !value.empty();
    } else if (arg == "--dir") {
        options.dir = value;
        ok = !value.empty();
    } else if (arg == "--link") {
        options.link = value;
        ok = !value.empty() && value.find('/') == std::string::npos && value != "." && value != "..";
    } else if (arg == "--tty") {
        options.tty = value;
        ok = !value.empty();
    } else if (arg == "--com") {
        ok = parseInt(value, 1, 255, options.com);
    } else if (arg == "--baud") {
        ok = parseInt(value, 1, 4000000, options.unit.baud) && PtyLink::isLineRate(options.unit.baud);
    } else if (arg == "--type") {
        ok = value == "tx" || value == "rx";
        options.unit.rx = value == "rx";
    } else if (arg == "--mcu-version") {
        options.unit.mcuVersion = value;
        ok = !value.empty();
    } else if (arg == "--logic-version") {
        options.unit.logicVersion = value;
        ok = !value.empty();
    } else if (arg == "--mcu-version-after") {
        options.unit.mcuVersionAfter = value;
        ok = !value.empty();
    } else if (arg == "--logic-version-after") {
        options.unit.logicVersionAfter = value;
        ok = !value.empty();
    } else if (arg == "--device-code") {
        ok = parseDeviceCode(value, options.unit.deviceCode);
    } else if (arg == "--device-code-after") {
        long long code = 0;
        ok = parseDeviceCode(value, code);
        options.unit.deviceCodeAfter = code;
    } else if (arg == "--model-after") {
        options.unit.modelAfter = value;
        ok = !value.empty();
    } else if (arg == "--reply-delay-after-reboot-ms") {
        ok = parseInt(value, 0, 600000, options.unit.replyDelayAfterRebootMs);
    } else if (arg == "--model") {
        options.unit.model = value;
        ok = !value.empty();
    } else if (arg == "--boot-ms") {
        ok = parseInt(value, 0, 24L * 3600 * 1000, options.unit.bootMs);
    } else if (arg == "--fault") {
        ok = setFault(options, value);
    } else {
        return false;
    }
    return true;
}

}  // namespace

ParseResult parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    bool haveDir = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        std::size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }

        if (arg == "--help" || arg == "--pace" || arg == "--exit-after-prompt" || arg == "--verbose" ||
            arg == "--silent-after-reboot") {
            if (inlineValue) {
                error = arg + " takes no value";
                return ParseResult::Error;
            }
            if (arg == "--help")
                return ParseResult::Help;
            options.pace = options.pace || arg == "--pace";
            options.exitAfterPrompt = options.exitAfterPrompt || arg == "--exit-after-prompt";
            options.verbose = options.verbose || arg == "--verbose";
            options.unit.silentAfterReboot = options.unit.silentAfterReboot || arg == "--silent-after-reboot";
            continue;
        }

        if (!inlineValue && i + 1 < argc)
            value = argv[i + 1];
        bool ok = false;
        if (!setValued(options, arg, value, ok)) {
            error = "unknown option " + arg;
            return ParseResult::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return ParseResult::Error;
            }
            ++i;
        }
        if (!ok) {
            error = arg == "--fault" ? "unknown fault \"" + value + "\"" : "bad value \"" + value + "\" for " + arg;
            return ParseResult::Error;
        }
        haveDir = haveDir || arg == "--dir";
    }

    if (!haveDir) {
        const char *env = std::getenv("RAVELIN_COM_DIR");
        if (env && *env)
            options.dir = env;
    }
    if (options.dir.empty() && options.tty.empty()) {
        error = "no COM folder: give --dir DIR or set RAVELIN_COM_DIR";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}
