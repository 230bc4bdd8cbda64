#include "UnitConnection.h"

#include <vector>

#include "ComPortAPI.h"
#include "Console.h"
#include "PortEnumeration.h"
#include "RavelinFwUpgrade.h"

bool connectsWithoutProbe(const CommandLine &line)
{
    return line.namesPort() && line.baud != 0;
}

int chosenPort(const CommandLine &line)
{
    if (line.port != 0) {
        return line.port;
    }
    return line.portPath.empty() ? 0 : ComPortAPI_AddNamedPort(line.portPath);
}

std::optional<UnitLink> connectAsChosen(const CommandLine &line)
{
    ComPortAPI_SetHardwareFlowControl(0);
    const int port = chosenPort(line);
    if (connectsWithoutProbe(line)) {
        // No port is open: the rate is recorded, and the open applies it.
        ComPortAPI_SetBaudRate(line.baud);
        if (!ComPortAPI_OpenCOM(port)) {
            return std::nullopt;
        }
        return UnitLink{port, line.baud};
    }
    const int *rates = line.baud != 0 ? &line.baud : kTrialBaudRates;
    const int rateCount = line.baud != 0 ? 1 : TRIAL_BAUD_RATE_COUNT;
    if (port != 0) {
        return detectUnitAmong(port, port, rates, rateCount);
    }
    if (const std::optional<UnitLink> found = detectUnitAmong(1, DISCOVERY_LAST_COM_PORT, rates, rateCount)) {
        return found;
    }
    for (const std::string &device : PortEnumeration_DiscoveryDevices()) {
        const int named = ComPortAPI_AddNamedPort(device);
        if (const std::optional<UnitLink> found = detectUnitAmong(named, named, rates, rateCount)) {
            return found;
        }
    }
    return std::nullopt;
}

std::string shownPortNumber(int port)
{
    return port >= NAMED_PORT_FIRST ? ComPortAPI_PortName(port) : std::to_string(port);
}

std::string chosenPortName(const CommandLine &line)
{
    return line.namesPort() ? ComPortAPI_PortName(chosenPort(line)) : "";
}

std::string searchedPlaces(const CommandLine &line)
{
    std::string places;
    if (line.namesPort()) {
        places = ComPortAPI_PortName(chosenPort(line));
    } else {
        places = "COM1..COM" + std::to_string(DISCOVERY_LAST_COM_PORT);
        for (const std::string &device : PortEnumeration_DiscoveryDevices()) {
            places += ", " + device;
        }
    }
    if (line.baud != 0) {
        places += " at " + std::to_string(line.baud) + " baud";
    }
    return places;
}

void reportRefusedPorts(const char *lead)
{
    bool permissionMissing = false;
    const std::vector<PortRefusal> refusals = ComPortAPI_RefusedPorts();
    if (!refusals.empty()) {
        Console_Print("%s", lead);
    }
    for (const PortRefusal &refusal : refusals) {
        const std::string name = ComPortAPI_PortName(refusal.port);
        if (refusal.why == PortOpenFailure::InUse) {
            Console_Print("%s is in use by another program.\r\n", name.c_str());
        } else {
            Console_Print("%s: permission denied.\r\n", name.c_str());
            permissionMissing = true;
        }
    }
    if (permissionMissing) {
        Console_Print("%s", PERMISSION_HINT);
    }
}

void reportUnusableChosenPort(const CommandLine &line, const char *lead)
{
    if (!line.namesPort()) {
        return;
    }
    const std::string name = ComPortAPI_PortName(chosenPort(line));
    switch (ComPortAPI_LastOpenFailure()) {
    case PortOpenFailure::Missing:
        Console_Print("%s%s: no such device.\r\n", lead, name.c_str());
        break;
    case PortOpenFailure::Other:
        Console_Print("%s%s: not a serial device.\r\n", lead, name.c_str());
        break;
    case PortOpenFailure::None:
    case PortOpenFailure::InUse:
    case PortOpenFailure::NoPermission:
        break;
    }
}
