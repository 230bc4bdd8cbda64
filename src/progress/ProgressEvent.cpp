#include "ProgressEvent.h"

#include <cstdint>

#include <nlohmann/json.hpp>

// Members keep the order they are written in, so a person reading the
// stream sees the port first.
using Json = nlohmann::ordered_json;

namespace {

const ProgressStep kSteps[] = {ProgressStep::Searching, ProgressStep::Checking, ProgressStep::Logic,
                               ProgressStep::Firmware,  ProgressStep::Rebooting, ProgressStep::Verifying,
                               ProgressStep::Done,      ProgressStep::Failed};

const ProgressResult kResults[] = {ProgressResult::Updated,  ProgressResult::NotConfirmed,
                                   ProgressResult::Identified, ProgressResult::NotFound,
                                   ProgressResult::Failed,   ProgressResult::Stopped,
                                   ProgressResult::UpToDate, ProgressResult::Newer,
                                   ProgressResult::NotVerified, ProgressResult::NoSuchPort};

bool stepNamed(const std::string &name, ProgressStep &step)
{
    for (const ProgressStep candidate : kSteps) {
        if (name == progressStepName(candidate)) {
            step = candidate;
            return true;
        }
    }
    return false;
}

bool resultNamed(const std::string &name, ProgressResult &result)
{
    for (const ProgressResult candidate : kResults) {
        if (name == progressResultName(candidate)) {
            result = candidate;
            return true;
        }
    }
    return false;
}

// The member's value when the object has it; null otherwise.
const Json *member(const Json &object, const char *name)
{
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

// An absent member leaves `value` alone; a present one must be a string.
bool readText(const Json &object, const char *name, std::string &value)
{
    const Json *found = member(object, name);
    if (found == nullptr) {
        return true;
    }
    if (!found->is_string()) {
        return false;
    }
    value = found->get<std::string>();
    return true;
}

// An absent member leaves `value` alone; a present one must be a whole
// number in [min, max] (a number written with a fraction or an exponent is
// not one).
bool readInteger(const Json &object, const char *name, int min, int max, int &value)
{
    const Json *found = member(object, name);
    if (found == nullptr) {
        return true;
    }
    long long number = 0;
    if (found->is_number_unsigned()) {
        const std::uint64_t unsignedNumber = found->get<std::uint64_t>();
        if (unsignedNumber > static_cast<std::uint64_t>(max)) {
            return false;
        }
        number = static_cast<long long>(unsignedNumber);
    } else if (found->is_number_integer()) {
        number = found->get<std::int64_t>();
    } else {
        return false;
    }
    if (number < min || number > max) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool readStep(const Json &object, const char *name, ProgressStep &step)
{
    const Json *found = member(object, name);
    if (found == nullptr) {
        return true;
    }
    return found->is_string() && stepNamed(found->get<std::string>(), step);
}

// "versions" or "versions_after": an object of mcu, logic and device.
bool readVersions(const Json &object, const char *name, bool &known, std::string &mcu, std::string &logic,
                  int &device)
{
    const Json *versions = member(object, name);
    if (versions == nullptr) {
        return true;
    }
    if (!versions->is_object()) {
        return false;
    }
    known = true;
    return readText(*versions, "mcu", mcu) && readText(*versions, "logic", logic) &&
           readInteger(*versions, "device", INT32_MIN, INT32_MAX, device);
}

bool readFlag(const Json &object, const char *name, std::optional<bool> &value)
{
    const Json *found = member(object, name);
    if (found == nullptr) {
        return true;
    }
    if (!found->is_boolean()) {
        return false;
    }
    value = found->get<bool>();
    return true;
}

}  // namespace

const char *progressStepName(ProgressStep step)
{
    switch (step) {
    case ProgressStep::Searching:
        return "searching";
    case ProgressStep::Checking:
        return "checking";
    case ProgressStep::Logic:
        return "logic";
    case ProgressStep::Firmware:
        return "firmware";
    case ProgressStep::Rebooting:
        return "rebooting";
    case ProgressStep::Verifying:
        return "verifying";
    case ProgressStep::Done:
        return "done";
    case ProgressStep::Failed:
        return "failed";
    }
    return "";
}

const char *progressResultName(ProgressResult result)
{
    switch (result) {
    case ProgressResult::None:
        return "";
    case ProgressResult::Updated:
        return "updated";
    case ProgressResult::NotConfirmed:
        return "not-confirmed";
    case ProgressResult::Identified:
        return "identified";
    case ProgressResult::NotFound:
        return "not-found";
    case ProgressResult::Failed:
        return "failed";
    case ProgressResult::Stopped:
        return "stopped";
    case ProgressResult::UpToDate:
        return "up-to-date";
    case ProgressResult::Newer:
        return "newer";
    case ProgressResult::NotVerified:
        return "not-verified";
    case ProgressResult::NoSuchPort:
        return "no-such-port";
    }
    return "";
}

std::string formatProgressEvent(const ProgressEvent &event)
{
    Json object = Json::object();
    if (!event.port.empty()) {
        object["port"] = event.port;
    }
    if (event.baud != 0) {
        object["baud"] = event.baud;
    }
    if (!event.unitType.empty()) {
        object["type"] = event.unitType;
    }
    if (event.versionsKnown) {
        object["versions"] = {{"mcu", event.mcuVersion}, {"logic", event.logicVersion}, {"device", event.deviceCode}};
    }
    if (event.versionsAfterKnown) {
        object["versions_after"] = {
            {"mcu", event.mcuVersionAfter}, {"logic", event.logicVersionAfter}, {"device", event.deviceCodeAfter}};
    }
    if (event.verified.has_value()) {
        object["verified"] = *event.verified;
    }
    object["step"] = progressStepName(event.step);
    if (event.step == ProgressStep::Failed) {
        object["during"] = progressStepName(event.during);
    }
    if (event.percent >= 0) {
        object["percent"] = event.percent;
    }
    if (event.result != ProgressResult::None) {
        object["result"] = progressResultName(event.result);
    }
    if (event.result == ProgressResult::Identified) {
        object["up_to_date"] = event.upToDate;
        object["newer_than_carried"] = event.newerThanCarried;
    }
    if (event.notSupported) {
        object["not_supported"] = true;
    }
    if (!event.message.empty()) {
        object["message"] = event.message;
    }
    if (event.attempt > 1) {
        object["attempt"] = event.attempt;
    }
    // A unit's reply quoted in a message may hold any byte.
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::vector<std::string> ProgressLineReader::take(const std::string &output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        const size_t end = output.find('\n', start);
        const size_t length = (end == std::string::npos ? output.size() : end) - start;
        if (!dropping_) {
            if (pending_.size() + length > longest_) {
                pending_.clear();
                dropping_ = true;
            } else {
                pending_.append(output, start, length);
            }
        }
        if (end == std::string::npos) {
            break;
        }
        if (!dropping_) {
            lines.push_back(pending_);
        }
        pending_.clear();
        dropping_ = false;
        start = end + 1;
    }
    return lines;
}

std::string ProgressLineReader::rest()
{
    std::string last = dropping_ ? "" : pending_;
    pending_.clear();
    dropping_ = false;
    return last;
}

bool parseProgressEvent(const std::string &line, ProgressEvent &event)
{
    // The JSON reader takes a NUL for the end of its input: a line with one
    // inside would read as its part before the NUL.
    if (line.find('\0') != std::string::npos) {
        return false;
    }
    const size_t end = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
    const Json object = Json::parse(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return false;
    }
    ProgressEvent read;
    if (member(object, "step") == nullptr || !readStep(object, "step", read.step)) {
        return false;
    }
    const Json *result = member(object, "result");
    if (result != nullptr && !(result->is_string() && resultNamed(result->get<std::string>(), read.result))) {
        return false;
    }
    std::optional<bool> upToDate;
    std::optional<bool> newerThanCarried;
    std::optional<bool> notSupported;
    if (!readFlag(object, "up_to_date", upToDate) || !readFlag(object, "newer_than_carried", newerThanCarried) ||
        !readFlag(object, "verified", read.verified) || !readFlag(object, "not_supported", notSupported)) {
        return false;
    }
    read.upToDate = upToDate.value_or(false);
    read.newerThanCarried = newerThanCarried.value_or(false);
    read.notSupported = notSupported.value_or(false);
    if (!readText(object, "port", read.port) || !readInteger(object, "baud", 0, INT32_MAX, read.baud) ||
        !readText(object, "type", read.unitType) ||
        !readVersions(object, "versions", read.versionsKnown, read.mcuVersion, read.logicVersion, read.deviceCode) ||
        !readVersions(object, "versions_after", read.versionsAfterKnown, read.mcuVersionAfter,
                      read.logicVersionAfter, read.deviceCodeAfter) ||
        !readStep(object, "during", read.during) || !readInteger(object, "percent", 0, 100, read.percent) ||
        !readText(object, "message", read.message) || !readInteger(object, "attempt", 1, 1000, read.attempt)) {
        return false;
    }
    event = read;
    return true;
}
