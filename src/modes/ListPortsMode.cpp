#include "ListPortsMode.h"

#include <algorithm>
#include <cstdio>

#include "ComPortAPI.h"
#include "CommandLine.h"
#include "PortEnumeration.h"
#include "RavelinFwUpgrade.h"
#include "UnitConnection.h"

namespace {

// What the exclusive open says of the port: "" when it opened.
const char *accessState(int port)
{
    if (ComPortAPI_ProbeCOM(port)) {
        ComPortAPI_CloseCOM();
        return "";
    }
    switch (ComPortAPI_LastOpenFailure()) {
    case PortOpenFailure::InUse:
        return LIST_PORTS_IN_USE;
    case PortOpenFailure::NoPermission:
        return LIST_PORTS_NO_PERMISSION;
    default:
        return "(cannot be opened)";
    }
}

}  // namespace

int runListPorts(void)
{
    const std::vector<ListedPort> ports = PortEnumeration_ListPorts();
    if (ports.empty()) {
        printf("%s\n", LIST_PORTS_NONE);
        return EXIT_STATUS_SUCCESS;
    }
    // The adapter's maker, product and serial number are the device's own
    // words: shown escaped, like every text from a unit.
    size_t nameWidth = 0;
    for (const ListedPort &port : ports) {
        nameWidth = std::max(nameWidth, shownUnitText(port.name.c_str()).size());
    }
    bool permissionMissing = false;
    for (const ListedPort &port : ports) {
        const int number = port.comNumber != 0 ? port.comNumber : ComPortAPI_AddNamedPort(port.device);
        const std::string state = accessState(number);
        permissionMissing = permissionMissing || state == LIST_PORTS_NO_PERMISSION;
        std::string knowledge;
        for (const std::string &part : {shownUnitText(port.details.c_str()), state}) {
            if (!part.empty()) {
                knowledge += "  " + part;
            }
        }
        std::string name = shownUnitText(port.name.c_str());
        if (!knowledge.empty()) {
            name.resize(nameWidth, ' ');
        }
        printf("%s%s\n", name.c_str(), knowledge.c_str());
    }
    if (permissionMissing) {
        printf("\n%s", PERMISSION_HINT);
    }
    return EXIT_STATUS_SUCCESS;
}
