#include "ListPortsMode.h"

#include <cstdio>

#include "ComPortAPI.h"
#include "CommandLine.h"
#include "PortEnumeration.h"
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
    size_t nameWidth = 0;
    for (const ListedPort &port : ports) {
        nameWidth = port.name.size() > nameWidth ? port.name.size() : nameWidth;
    }
    bool permissionMissing = false;
    for (const ListedPort &port : ports) {
        const int number = port.comNumber != 0 ? port.comNumber : ComPortAPI_AddNamedPort(port.device);
        const std::string state = accessState(number);
        permissionMissing = permissionMissing || state == LIST_PORTS_NO_PERMISSION;
        std::string knowledge;
        for (const std::string &part : {port.details, state}) {
            if (!part.empty()) {
                knowledge += "  " + part;
            }
        }
        std::string name = port.name;
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
