#include "RackBoard.h"

#include <algorithm>
#include <cstdio>

#include "CommandLine.h"
#include "RackTries.h"
#include "UnitExchange.h"

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
    case ProgressResult::NoSuchPort:
        return "no such port";
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

// --all --info: what the identification found.
std::string infoVerdict(const ProgressEvent &state)
{
    switch (state.result) {
    case ProgressResult::Identified:
        return state.upToDate ? "up to date" : state.newerThanCarried ? "newer than carried" : "update needed";
    case ProgressResult::Failed:
        return state.notSupported ? "not supported" : "FAILED";
    default:
        return shortResult(state);
    }
}

// Lays out a table: columns as wide as their widest cell, two blanks apart.
std::string table(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const std::vector<std::string> &cells : rows) {
        for (size_t c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths[c], cells[c].size());
        }
    }
    std::string text;
    for (const std::vector<std::string> &cells : rows) {
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            line += c + 1 < cells.size() ? padded(cells[c], widths[c] + 2) : cells[c];
        }
        text += line + "\n";
    }
    return text;
}

std::string traceCell(const RackRow &row)
{
    return row.traceFile.empty()      ? "-"
           : row.traceTrouble.empty() ? printable(row.traceFile)
                                      : printable(row.traceFile + " (" + row.traceTrouble + ")");
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

// A port with a unit on it: searched, and something answered.
bool unitFound(ProgressResult result)
{
    return result != ProgressResult::NotFound && result != ProgressResult::NoSuchPort;
}

// "1 up to date, 2 update needed": the counts that are not 0.
std::string verdictCounts(const std::vector<std::pair<const char *, int>> &counts)
{
    std::string text;
    for (const auto &count : counts) {
        if (count.second != 0) {
            text += (text.empty() ? "" : ", ") + std::to_string(count.second) + " " + count.first;
        }
    }
    return text;
}

// What a rack without a unit says, or empty when one was found.
std::string nothingFound(const std::vector<RackRow> &rows, int found, bool refusedPortsAllInUse)
{
    if (rows.empty() && refusedPortsAllInUse) {
        return "\r\nERROR: every serial port found is in use by another program.\r\n";
    }
    if (rows.empty()) {
        return "\r\nERROR: no serial port found.\r\n";
    }
    if (found == 0) {
        std::vector<std::string> searched;
        for (const RackRow &row : rows) {
            searched.push_back(row.port);
        }
        return "\r\nERROR: no unit answered on " + joinedPorts(searched) + ".\r\n";
    }
    return "";
}

std::string rowStep(const RackRow &row)
{
    const ProgressEvent &state = row.state;
    switch (state.result) {
    case ProgressResult::None:
        if (row.waiting) {
            return "waiting";
        }
        return stepWithPercent(state.step, state.percent);
    case ProgressResult::Updated:
        return "done";
    case ProgressResult::Identified:
        return infoVerdict(state);
    case ProgressResult::NotFound:
        return "no unit";
    case ProgressResult::NoSuchPort:
        return "no such port";
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
    if (state.notSupported) {
        return withReason("NOT SUPPORTED", state);
    }
    return withReason(("FAILED during " + stepWithPercent(state.during, state.percent)).c_str(), state);
}

// The verdict's error line when `failed` of the `found` units did not get
// to `done` ("updated", "identified").
std::string unitsLeftOver(int found, int failed, const char *done)
{
    if (found == 1) {
        return std::string("\r\nERROR: the unit was not ") + done + ".\r\n";
    }
    return "\r\nERROR: " + std::to_string(failed) + " of " + std::to_string(found) + " units " +
           (failed == 1 ? "was" : "were") + " not " + done + ".\r\n";
}

}  // namespace

std::string rackRowStep(const RackRow &row)
{
    return rowStep(row) + rackTryNote(row.attempts);
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

std::string rackSummary(const std::vector<RackRow> &rows, bool attempts)
{
    std::vector<std::string> head = {"Port", "Type", "Versions before", "Result", "Versions after", "Time", "Trace"};
    if (attempts) {
        head.insert(head.begin() + 5, "Attempts");
    }
    std::vector<std::vector<std::string>> cells = {head};
    for (const RackRow &row : rows) {
        std::vector<std::string> line = {printable(row.port),
                                         row.state.unitType.empty() ? "-" : printable(row.state.unitType),
                                         versionsBefore(row.state),
                                         shortResult(row.state),
                                         versionsAfter(row.state),
                                         duration(row.seconds),
                                         traceCell(row)};
        if (attempts) {
            line.insert(line.begin() + 5, std::to_string(row.attempts));
        }
        cells.push_back(line);
    }
    std::string text = table(cells);
    for (const RackRow &row : rows) {
        if (needsReason(row.state.result)) {
            text += printable(row.port) + ": " + rackRowStep(row) + "\n";
        }
    }
    return text;
}

std::string rackInfoSummary(const std::vector<RackRow> &rows)
{
    std::vector<std::vector<std::string>> cells = {{"Port", "Rate", "Type", "Versions", "Verdict", "Time", "Trace"}};
    for (const RackRow &row : rows) {
        cells.push_back({printable(row.port), row.state.baud != 0 ? std::to_string(row.state.baud) : "-",
                         row.state.unitType.empty() ? "-" : printable(row.state.unitType), versionsBefore(row.state),
                         infoVerdict(row.state), duration(row.seconds), traceCell(row)});
    }
    std::string text = table(cells);
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
        // A --port value is the operator's own text: escaped as the unit's is.
        text += (text.empty() ? "" : ", ") + shownUnitText(port.c_str());
    }
    return text;
}

RackVerdict rackVerdict(const std::vector<RackRow> &rows, bool refusedPortsAllInUse)
{
    int found = 0;
    int updated = 0;
    int settled = 0;
    for (const RackRow &row : rows) {
        if (unitFound(row.state.result)) {
            ++found;
            updated += row.state.result == ProgressResult::Updated ? 1 : 0;
            settled += settledWell(row.state.result) ? 1 : 0;
        }
    }
    const int status = found > 0 && settled == found ? EXIT_STATUS_SUCCESS : EXIT_STATUS_FAILED;
    const std::string none = nothingFound(rows, found, refusedPortsAllInUse);
    if (!none.empty()) {
        return {none, status};
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
    return {unitsLeftOver(found, found - settled, "updated"), status};
}

RackVerdict rackInfoVerdict(const std::vector<RackRow> &rows, bool refusedPortsAllInUse)
{
    int found = 0;
    int identified = 0;
    int current = 0;
    int newer = 0;
    for (const RackRow &row : rows) {
        const ProgressEvent &state = row.state;
        if (!unitFound(state.result)) {
            continue;
        }
        ++found;
        const bool known = state.result == ProgressResult::Identified;
        identified += known ? 1 : 0;
        current += known && state.upToDate ? 1 : 0;
        newer += known && state.newerThanCarried ? 1 : 0;
    }
    const int status = found > 0 && identified == found ? EXIT_STATUS_SUCCESS : EXIT_STATUS_FAILED;
    const std::string none = nothingFound(rows, found, refusedPortsAllInUse);
    if (!none.empty()) {
        return {none, status};
    }
    if (identified == found) {
        return {"\r\nEvery unit found was identified: " +
                    verdictCounts({{"up to date", current},
                                   {"update needed", identified - current - newer},
                                   {"newer than carried", newer}}) +
                    ".\r\n",
                status};
    }
    return {unitsLeftOver(found, found - identified, "identified"), status};
}
