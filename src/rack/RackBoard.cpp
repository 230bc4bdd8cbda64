#include "RackBoard.h"

#include <algorithm>
#include <cstdio>

#include "CommandLine.h"

namespace {

// A standard console is 80 columns; a line that wrapped would throw the
// cursor movement of the redraw off by a line.
#define BOARD_WIDTH 79

std::string printable(const std::string &text)
{
    std::string shown = text;
    for (char &c : shown) {
        if (c < 0x20 || c > 0x7e) {
            c = '?';
        }
    }
    return shown;
}

bool hasPercent(ProgressStep step)
{
    return step == ProgressStep::Logic || step == ProgressStep::Firmware || step == ProgressStep::Rebooting;
}

// "logic 45%", or "logic" before its percentage is known.
std::string stepWithPercent(ProgressStep step, int percent)
{
    std::string text = progressStepName(step);
    if (hasPercent(step) && percent >= 0) {
        text += " " + std::to_string(percent) + "%";
    }
    return text;
}

std::string withReason(const char *head, const ProgressEvent &state)
{
    return state.message.empty() ? head : std::string(head) + ": " + printable(state.message);
}

std::string shortResult(const ProgressEvent &state)
{
    switch (state.result) {
    case ProgressResult::Updated:
        return "updated";
    case ProgressResult::NotConfirmed:
        return "NOT CONFIRMED";
    case ProgressResult::NotFound:
        return "no unit";
    case ProgressResult::Stopped:
        return "STOPPED";
    case ProgressResult::Identified:
        return "identified";
    case ProgressResult::Failed:
        return "FAILED";
    case ProgressResult::UpToDate:
        return "up to date";
    case ProgressResult::Newer:
        return "newer than carried";
    case ProgressResult::NotVerified:
        return "NOT VERIFIED";
    case ProgressResult::None:
        break;
    }
    return "unfinished";
}

std::string duration(double seconds)
{
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string versionsBefore(const ProgressEvent &state)
{
    return state.versionsKnown ? printable(state.mcuVersion + ", " + state.logicVersion) : "-";
}

std::string versionsAfter(const ProgressEvent &state)
{
    return state.versionsAfterKnown ? printable(state.mcuVersionAfter + ", " + state.logicVersionAfter) : "-";
}

// A row whose summary line does not say all: the reason follows the table.
bool needsReason(ProgressResult result)
{
    return result == ProgressResult::Failed || result == ProgressResult::NotConfirmed ||
           result == ProgressResult::NotVerified || result == ProgressResult::Stopped ||
           result == ProgressResult::None;
}

std::string padded(const std::string &text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The row's line with percentages in tens, for the plain output.
std::string coarseLine(RackRow row, size_t portWidth)
{
    if (row.state.percent > 0 && row.state.percent < 100) {
        row.state.percent -= row.state.percent % 10;
    }
    return rackBoardLine(row, portWidth);
}

// A unit found that needs nothing more: updated and verified, already
// current, or newer than what this tool carries.
bool settledWell(ProgressResult result)
{
    return result == ProgressResult::Updated || result == ProgressResult::UpToDate ||
           result == ProgressResult::Newer;
}

}  // namespace

std::string rackRowStep(const RackRow &row)
{
    const ProgressEvent &state = row.state;
    switch (state.result) {
    case ProgressResult::None:
        if (row.waiting) {
            return "waiting";
        }
        return stepWithPercent(state.step, state.percent);
    case ProgressResult::Updated:
    case ProgressResult::Identified:
        return "done";
    case ProgressResult::NotFound:
        return "no unit";
    case ProgressResult::NotConfirmed:
        return withReason("NOT CONFIRMED", state);
    case ProgressResult::NotVerified:
        return withReason("NOT VERIFIED", state);
    case ProgressResult::UpToDate:
        return "up to date";
    case ProgressResult::Newer:
        return "newer than carried";
    case ProgressResult::Stopped:
        if (row.waiting) {
            return "STOPPED before its turn";
        }
        return "STOPPED during " + stepWithPercent(state.during, state.percent);
    case ProgressResult::Failed:
        break;
    }
    return withReason(("FAILED during " + stepWithPercent(state.during, state.percent)).c_str(), state);
}

size_t rackPortWidth(const std::vector<RackRow> &rows)
{
    size_t width = 8;
    for (const RackRow &row : rows) {
        width = std::max(width, row.port.size() + 1);
    }
    return width;
}

std::string rackBoardLine(const RackRow &row, size_t portWidth)
{
    const std::string rate = row.state.baud != 0 ? std::to_string(row.state.baud) : "-";
    const std::string type = row.state.unitType.empty() ? "--" : printable(row.state.unitType);
    return padded(printable(row.port), portWidth) + " " + padded(rate, 7) + " " + padded(type, 4) + rackRowStep(row);
}

std::string RackBoard::update(const std::vector<RackRow> &rows)
{
    const size_t portWidth = rackPortWidth(rows);
    std::vector<std::string> lines;
    for (const RackRow &row : rows) {
        lines.push_back(inPlace_ ? rackBoardLine(row, portWidth).substr(0, BOARD_WIDTH) : coarseLine(row, portWidth));
    }
    if (lines == shown_) {
        return "";
    }
    std::string text;
    if (inPlace_) {
        if (!shown_.empty()) {
            text += "\x1b[" + std::to_string(shown_.size()) + "A";
        }
        for (const std::string &line : lines) {
            text += "\r\x1b[2K" + line + "\n";
        }
    } else {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i >= shown_.size() || lines[i] != shown_[i]) {
                text += lines[i] + "\n";
            }
        }
    }
    shown_ = lines;
    return text;
}

std::string rackSummary(const std::vector<RackRow> &rows)
{
    const std::vector<std::string> head = {"Port", "Type", "Versions before", "Result", "Versions after", "Time",
                                           "Trace"};
    std::vector<std::vector<std::string>> table = {head};
    for (const RackRow &row : rows) {
        table.push_back({printable(row.port), row.state.unitType.empty() ? "-" : printable(row.state.unitType),
                         versionsBefore(row.state), shortResult(row.state), versionsAfter(row.state),
                         duration(row.seconds),
                         row.traceFile.empty()      ? "-"
                         : row.traceTrouble.empty() ? printable(row.traceFile)
                                                    : printable(row.traceFile + " (" + row.traceTrouble + ")")});
    }
    std::vector<size_t> widths(head.size(), 0);
    for (const std::vector<std::string> &cells : table) {
        for (size_t c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths[c], cells[c].size());
        }
    }
    std::string text;
    for (const std::vector<std::string> &cells : table) {
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            line += c + 1 < cells.size() ? padded(cells[c], widths[c] + 2) : cells[c];
        }
        text += line + "\n";
    }
    for (const RackRow &row : rows) {
        if (needsReason(row.state.result)) {
            text += printable(row.port) + ": " + rackRowStep(row) + "\n";
        }
    }
    return text;
}

std::string joinedPorts(const std::vector<std::string> &ports)
{
    std::string text;
    for (const std::string &port : ports) {
        text += (text.empty() ? "" : ", ") + port;
    }
    return text;
}

RackVerdict rackVerdict(const std::vector<RackRow> &rows, bool refusedPortsAllInUse)
{
    int found = 0;
    int updated = 0;
    int settled = 0;
    std::vector<std::string> searched;
    for (const RackRow &row : rows) {
        searched.push_back(row.port);
        if (row.state.result != ProgressResult::NotFound) {
            ++found;
            updated += row.state.result == ProgressResult::Updated ? 1 : 0;
            settled += settledWell(row.state.result) ? 1 : 0;
        }
    }
    const int status = found > 0 && settled == found ? EXIT_STATUS_SUCCESS : EXIT_STATUS_FAILED;
    if (rows.empty() && refusedPortsAllInUse) {
        return {"\r\nERROR: every serial port found is in use by another program.\r\n", status};
    }
    if (rows.empty()) {
        return {"\r\nERROR: no serial port found.\r\n", status};
    }
    if (found == 0) {
        return {"\r\nERROR: no unit answered on " + joinedPorts(searched) + ".\r\n", status};
    }
    if (updated == found) {
        return {"\r\nAll " + std::to_string(found) + (found == 1 ? " unit was" : " units were") + " updated.\r\n",
                status};
    }
    if (settled == found) {
        return {"\r\nEvery unit found is done: " + std::to_string(updated) + " updated, " +
                    std::to_string(found - updated) + " left alone.\r\n",
                status};
    }
    const int failed = found - settled;
    return {found == 1 ? std::string("\r\nERROR: the unit was not updated.\r\n")
                       : "\r\nERROR: " + std::to_string(failed) + " of " + std::to_string(found) + " units " +
                             (failed == 1 ? "was" : "were") + " not updated.\r\n",
            status};
}
