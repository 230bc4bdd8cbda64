#include "RackPorts.h"

#include <set>

#include "ComPortAPI.h"
#include "PortEnumeration.h"
#include "RavelinFwUpgrade.h"

namespace {

RackPortChoice choice(int number)
{
    RackPortChoice port;
    port.name = ComPortAPI_PortName(number);
    port.portOption = number < NAMED_PORT_FIRST ? std::to_string(number) : port.name;
    return port;
}

const char *refusalWords(PortOpenFailure why)
{
    switch (why) {
    case PortOpenFailure::InUse:
        return "in use by another program";
    case PortOpenFailure::NoPermission:
        return "permission denied";
    default:
        return "it cannot be opened as a serial port";
    }
}

}  // namespace

std::vector<RackPortChoice> rackEveryPort(void)
{
    std::vector<int> numbers;
    for (int port = 1; port <= DISCOVERY_LAST_COM_PORT; ++port) {
        numbers.push_back(port);
    }
    for (const std::string &device : PortEnumeration_DiscoveryDevices()) {
        numbers.push_back(ComPortAPI_AddNamedPort(device));
    }
    std::vector<RackPortChoice> ports;
    for (const int number : numbers) {
        if (ComPortAPI_ProbeCOM(number)) {
            ports.push_back(choice(number));
        }
        ComPortAPI_CloseCOM();
    }
    return ports;
}

bool rackNamedPorts(const std::vector<NamedPort> &named, std::vector<RackPortChoice> &ports, std::string &error)
{
    std::set<int> seen;
    ports.clear();
    for (const NamedPort &given : named) {
        const int number = given.port != 0 ? given.port : ComPortAPI_AddNamedPort(given.path);
        if (!seen.insert(number).second) {
            error = ComPortAPI_PortName(number) + " is named twice";
            return false;
        }
        RackPortChoice port = choice(number);
        if (!ComPortAPI_ProbeCOM(number)) {
            const PortOpenFailure why = ComPortAPI_LastOpenFailure();
            port.missing = why == PortOpenFailure::Missing;
            port.refusal = port.missing ? "" : refusalWords(why);
        }
        ComPortAPI_CloseCOM();
        ports.push_back(port);
    }
    return true;
}
