#include "HostName.h"

#include <windows.h>

std::string HostName_Get(void)
{
    char name[256] = "";
    DWORD length = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &length)) {
        return "";
    }
    return std::string(name, length);
}
