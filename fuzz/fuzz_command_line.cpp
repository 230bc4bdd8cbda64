// The command line: arguments are the input split at NUL bytes. Whatever
// the arguments, parsing ends with a record that keeps its own rules or
// with an error that says why, and the usage text names the program.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> arguments(1, "RavelinFwUpgrade");
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < 32; ++i) {
        if (data[i] == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    arguments.push_back(current);
    std::vector<const char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(argument.c_str());
    }

    CommandLine line;
    std::string error;
    if (!parseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error)) {
        if (error.empty()) {
            abort();
        }
        return 0;
    }
    const bool portInRange = line.port >= 0 && line.port <= COMMAND_LINE_LAST_PORT;
    const bool onePortForm = line.port == 0 || line.portPath.empty();
    const bool baudInRange = line.baud >= 0 && line.baud <= 4000000;
    const bool connectionFits = !line.namesPort() || line.mode == RunMode::Update || line.mode == RunMode::Info;
    const bool logFits = line.logFile.empty() || line.mode == RunMode::Update || line.mode == RunMode::Info ||
                         line.mode == RunMode::WebPackage;
    if (!portInRange || !onePortForm || !baudInRange || !connectionFits || !logFits) {
        abort();
    }
    return 0;
}
