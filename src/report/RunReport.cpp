#include "RunReport.h"

#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>

#include <nlohmann/json.hpp>

// Members keep the order they are written in: a person reading the file
// sees the port before its details.
using Json = nlohmann::ordered_json;

namespace {

Json versionsObject(const ReportVersions &versions)
{
    if (!versions.known) {
        return nullptr;
    }
    return {{"mcu", versions.mcu}, {"logic", versions.logic}, {"device", versions.device}};
}

void putIfKnown(Json &object, const char *name, const std::string &value)
{
    if (!value.empty()) {
        object[name] = value;
    }
}

Json identityObject(const PortIdentity &identity)
{
    Json object = Json::object();
    putIfKnown(object, "by_id", identity.byId);
    putIfKnown(object, "usb_vendor", identity.usbVendor);
    putIfKnown(object, "usb_product", identity.usbProduct);
    putIfKnown(object, "serial_number", identity.serialNumber);
    putIfKnown(object, "manufacturer", identity.manufacturer);
    putIfKnown(object, "product", identity.product);
    putIfKnown(object, "hardware_id", identity.hardwareId);
    putIfKnown(object, "instance_id", identity.instanceId);
    return object;
}

Json portObject(const ReportPort &port)
{
    Json object = Json::object();
    object["port"] = port.port;
    putIfKnown(object, "path", port.identity.path);
    object["identity"] = identityObject(port.identity);
    if (port.baud != 0) {
        object["baud"] = port.baud;
    }
    putIfKnown(object, "type", port.unitType);
    object["versions_before"] = versionsObject(port.before);
    object["versions_after"] = versionsObject(port.after);
    object["result"] = port.result;
    putIfKnown(object, "verdict", port.verdict);
    object["written"] = port.written;
    object["message"] = port.message;
    object["attempts"] = port.attempts;
    // Tenths of a second: the runs are seconds to minutes long.
    object["seconds"] = std::round(port.seconds * 10) / 10;
    object["trace"] = port.trace.empty() ? Json(nullptr) : Json(port.trace);
    if (!port.traces.empty()) {
        object["traces"] = port.traces;
    }
    return object;
}

// One member a result word that occurs, in the order the ports first show
// it, after "ports".
Json countsObject(const std::vector<ReportPort> &ports)
{
    Json counts = Json::object();
    counts["ports"] = ports.size();
    for (const ReportPort &port : ports) {
        const auto found = counts.find(port.result);
        counts[port.result] = found == counts.end() ? 1 : found->get<int>() + 1;
    }
    return counts;
}

// The step a run was at when it ended, for a record without a result.
ProgressStep stepReached(const ProgressEvent &state)
{
    return state.step == ProgressStep::Failed ? state.during : state.step;
}

// Whether any image byte went out: the stream shows 1% once its
// announcement was answered and it begins, and every later step comes after
// the logic image.
bool imageSent(const ProgressEvent &state)
{
    switch (state.result) {
    case ProgressResult::Updated:
    case ProgressResult::NotConfirmed:
    case ProgressResult::NotVerified:
        return true;
    default:
        break;
    }
    switch (stepReached(state)) {
    case ProgressStep::Logic:
        return state.percent >= 1;
    case ProgressStep::Firmware:
    case ProgressStep::Rebooting:
    case ProgressStep::Verifying:
        return true;
    default:
        return false;
    }
}

std::string verdictOf(const ProgressEvent &state)
{
    switch (state.result) {
    case ProgressResult::Identified:
        return state.upToDate           ? "up to date"
               : state.newerThanCarried ? "newer than carried"
                                        : "update needed";
    case ProgressResult::UpToDate:
        return "up to date";
    case ProgressResult::Newer:
        return "newer than carried";
    case ProgressResult::NotFound:
    case ProgressResult::NoSuchPort:
        return "no unit";
    case ProgressResult::Failed:
        return state.notSupported ? "not supported" : "";
    default:
        return "";
    }
}

bool isComName(const std::string &port, int &number)
{
    if (port.size() < 4 || port.compare(0, 3, "COM") != 0 ||
        port.find_first_not_of("0123456789", 3) != std::string::npos || port.size() > 6) {
        return false;
    }
    number = std::stoi(port.substr(3));
    return true;
}

PortIdentity identityAmong(const std::vector<ListedPort> &system, const std::string &port)
{
    int number = 0;
    const bool comName = isComName(port, number);
    for (const ListedPort &listed : system) {
        const bool same = comName ? listed.comNumber == number
                                  : port == listed.name || port == listed.device || port == listed.identity.path ||
                                        port == listed.identity.byId;
        if (same) {
            return listed.identity;
        }
    }
    PortIdentity unknown;
    if (!comName) {
        unknown.path = port;
    }
    return unknown;
}

}  // namespace

std::string formatRunReport(const RunReport &report)
{
    Json document = Json::object();
    document["report_version"] = RUN_REPORT_VERSION;
    document["tool"] = {{"name", "RavelinFwUpgrade"},
                        {"version", report.toolVersion},
                        {"carried",
                         {{"mcu", report.carried.mcu},
                          {"logic", report.carried.logicTx},
                          {"device", report.carried.device},
                          {"logic_tx", report.carried.logicTx},
                          {"logic_rx", report.carried.logicRx}}}};
    document["host"] = report.host;
    document["started"] = report.started;
    document["ended"] = report.ended;
    document["command_line"] = report.commandLine;
    document["mode"] = report.mode;
    Json ports = Json::array();
    for (const ReportPort &port : report.ports) {
        ports.push_back(portObject(port));
    }
    document["ports"] = ports;
    document["counts"] = countsObject(report.ports);
    document["complete"] = report.complete;
    document["exit_status"] = report.complete ? Json(report.exitStatus) : Json(nullptr);
    // A unit's reply quoted in a message may hold any byte.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

ReportPort reportPortFromEvent(const ProgressEvent &state)
{
    ReportPort port;
    port.baud = state.baud;
    port.unitType = state.unitType;
    port.before = {state.versionsKnown, state.mcuVersion, state.logicVersion, state.deviceCode};
    port.after = {state.versionsAfterKnown, state.mcuVersionAfter, state.logicVersionAfter, state.deviceCodeAfter};
    port.result = state.result == ProgressResult::None ? progressResultName(ProgressResult::Stopped)
                                                       : progressResultName(state.result);
    port.verdict = verdictOf(state);
    port.written = imageSent(state);
    port.message = state.result == ProgressResult::None
                       ? std::string("the run ended during ") + progressStepName(stepReached(state))
                       : state.message;
    return port;
}

PortIdentity reportPortIdentity(const std::string &port)
{
    return identityAmong(PortEnumeration_ListPorts(), port);
}

std::vector<PortIdentity> reportPortIdentities(const std::vector<std::string> &ports)
{
    const std::vector<ListedPort> system = PortEnumeration_ListPorts();
    std::vector<PortIdentity> identities;
    for (const std::string &port : ports) {
        identities.push_back(identityAmong(system, port));
    }
    return identities;
}

std::string reportTimeNow(void)
{
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm *utc = std::gmtime(&now)) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    return text;
}

std::string reportAbsolutePath(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}
