// One progress event of a unit's run, as programs read it: one JSON object a
// line (see "Progress for programs" in the README). Each event carries all
// that is known of the run so far, so a reader that missed lines loses
// nothing but the steps in between.
#ifndef PROGRESS_EVENT_H
#define PROGRESS_EVENT_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class ProgressStep { Searching, Checking, Logic, Firmware, Rebooting, Verifying, Done, Failed };

// Only the last event of a run has a result.
enum class ProgressResult {
    None,
    Updated,       // images sent and the unit confirmed with its prompt
    NotConfirmed,  // images sent and accepted, no prompt after the reboot
    Identified,    // --info: a supported unit was identified
    NotFound,      // no unit answered
    Failed,        // a unit answered, and the run failed; the message says why
    Stopped,       // the run was stopped from outside (Ctrl-C on --all)
    UpToDate,      // left alone: the unit already runs the carried versions
    Newer,         // left alone: the unit runs versions newer than the carried ones
    NotVerified,   // the unit restarted but does not run the carried versions
    NoSuchPort,    // --all --port: the port named does not exist
};

struct ProgressEvent {
    std::string port;  // "COM3"; empty while the run searches more than one port
    int baud = 0;      // the unit's command rate; 0 until the unit answered
    ProgressStep step = ProgressStep::Searching;
    int percent = -1;  // 0..100 with Logic, Firmware and Rebooting (and a run stopped in one of them); else -1
    std::string unitType;  // "TX" or "RX" once identified; else empty
    bool versionsKnown = false;
    std::string mcuVersion;    // "61.01.02"
    std::string logicVersion;  // "XC7A75 1.02"
    int deviceCode = 0;
    ProgressResult result = ProgressResult::None;
    ProgressStep during = ProgressStep::Searching;  // where a Failed run stopped (Failed step only)
    bool upToDate = false;  // --info: the unit runs the versions this tool carries (Identified only)
    bool newerThanCarried = false;  // --info: the unit runs newer versions than those (Identified only)
    // What the unit reported after its reboot, as the versions before.
    bool versionsAfterKnown = false;
    std::string mcuVersionAfter;
    std::string logicVersionAfter;
    int deviceCodeAfter = 0;
    std::optional<bool> verified;  // once the versions after the reboot were compared with the carried ones
    // A Failed run on a unit this tool does not update: another device code,
    // an identification of neither unit, a version reply it cannot read.
    bool notSupported = false;
    std::string message;    // why a run failed, in words; empty otherwise
    int attempt = 1;        // --all --retries: which try of the port's run this is
};

// The event as one JSON object, without a line end. Text that is not valid
// UTF-8 is carried with replacement characters.
std::string formatProgressEvent(const ProgressEvent &event);

// Reads one line (a trailing CR is allowed). False, with `event` untouched,
// unless the line is one JSON object whose "step" is known and whose members
// have their types and ranges; members that are not known are passed over.
bool parseProgressEvent(const std::string &line, ProgressEvent &event);

// Cuts a process's output into lines as it arrives, in pieces of any size.
// A line longer than `longest` bytes is no event: it is dropped whole, so a
// process that never ends a line cannot make the reader hold more.
class ProgressLineReader {
public:
    explicit ProgressLineReader(size_t longest) : longest_(longest) {}
    // The lines that `output` completed, without their "\n".
    std::vector<std::string> take(const std::string &output);
    // At the end of the output: the last line if it had no "\n" (and was
    // not dropped); the reader is then empty.
    std::string rest();

private:
    size_t longest_;
    std::string pending_;
    bool dropping_ = false;
};

// "searching", "logic", ...: the step's name in events.
const char *progressStepName(ProgressStep step);
// "updated", "not-confirmed", ...; "" for None.
const char *progressResultName(ProgressResult result);

#endif
