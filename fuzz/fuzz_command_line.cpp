// Arbitrary bytes as a command line (arguments split at NUL bytes) through
// the parser, and as image file names through the version readers. A line
// the parser takes must hold values in their ranges; one it refuses must say
// why.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "CarriedVersions.h"
#include "CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        const size_t nul = input.find('\0', start);
        words.push_back(input.substr(start, nul - start));
        if (nul == std::string::npos) {
            break;
        }
        start = nul + 1;
    }
    std::vector<const char *> argv = {"RavelinFwUpgrade"};
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }

    CommandLine line;
    std::string error;
    if (parseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error)) {
        if (line.port < 0 || line.port > COMMAND_LINE_LAST_PORT || line.baud < 0 || line.baud > 4000000) {
            abort();
        }
        // One port form at most; a port and a trace only where the mode takes them.
        const bool connects = line.mode == RunMode::Update || line.mode == RunMode::Info;
        if ((line.port != 0 && !line.portPath.empty()) || (line.namesPort() && !connects) ||
            (!line.logFile.empty() && !connects && line.mode != RunMode::WebPackage)) {
            abort();
        }
        // A folder for the traces only with --all; events only for runs that have a unit's progress.
        if ((!line.logDir.empty() && line.mode != RunMode::All) ||
            (line.progress == ProgressFormat::Json && !connects && line.mode != RunMode::All)) {
            abort();
        }
        // Lifting what only a run that leaves units alone does needs such a run.
        if ((line.allowReinstall || line.allowOlder) && !line.leavesCurrentUnits()) {
            abort();
        }
        // The rack's own options only with --all; --all --info writes nothing, so takes no update policy.
        const bool rack = line.mode == RunMode::All;
        if ((!line.rackPorts.empty() && !rack) || line.retries < 0 || line.retries > COMMAND_LINE_MOST_RETRIES ||
            (line.retries != 0 && !rack) || (line.allInfo && (!rack || line.verify || line.ifNeeded)) ||
            (!line.reportFile.empty() && !connects && !rack)) {
            abort();
        }
    } else if (error.empty()) {
        abort();
    }

    const McuVersion mcu = mcuVersionFromFileName(input);
    if (mcu.known != (formatMcuVersion(mcu) != "unknown")) {
        abort();
    }
    const LogicVersion logic = logicVersionFromFileName(input, "TX");
    if (logic.known && (logic.model.empty() || logic.model.size() > 7)) {
        abort();
    }
    return 0;
}
