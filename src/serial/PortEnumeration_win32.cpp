// The COM ports of a Windows system, by three ways that every Windows has,
// since none of them alone sees every port: the DOS device names
// (QueryDosDevice), the serial ports that the drivers announce in the
// registry (HARDWARE\DEVICEMAP\SERIALCOMM), and, for the numbers neither
// names, whether "\\.\COMn" opens (Wine knows its COM links only that way).
// SetupAPI then gives the friendly name and the hardware ID of the ports
// that belong to a Plug and Play device.
#include "PortEnumeration.h"

#include <cstring>
#include <map>

#include <windows.h>
// After windows.h, which they build on.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include "ComPortBackend.h"

namespace {

#define LAST_COM_NUMBER 255

// The number of "COM7", in any case; 0 for any other name.
int comNumber(const char *name)
{
    if (_strnicmp(name, "COM", 3) != 0 || name[3] == '\0' || strlen(name) > 6) {
        return 0;
    }
    int number = 0;
    for (const char *digit = name + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return 0;
        }
        number = number * 10 + (*digit - '0');
    }
    return number <= LAST_COM_NUMBER ? number : 0;
}

// COM number -> what the system calls its device (may be empty).
typedef std::map<int, std::string> PortMap;

void addDosDevices(PortMap &ports)
{
    std::string names(65536, '\0');
    const DWORD length = QueryDosDeviceA(NULL, &names[0], (DWORD)names.size());
    for (size_t at = 0; at < length && names[at] != '\0'; at += strlen(&names[at]) + 1) {
        const int number = comNumber(&names[at]);
        if (number == 0) {
            continue;
        }
        char target[512] = "";
        if (QueryDosDeviceA(&names[at], target, sizeof target) == 0) {
            target[0] = '\0';
        }
        ports[number] = target;
    }
}

void addRegistryPorts(PortMap &ports)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        char device[256];
        char name[64];
        DWORD deviceLength = sizeof device;
        DWORD nameLength = sizeof name - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, device, &deviceLength, NULL, &type, (BYTE *)name, &nameLength);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        name[nameLength] = '\0';
        const int number = comNumber(name);
        if (number != 0 && ports[number].empty()) {
            ports[number] = device;
        }
    }
    RegCloseKey(key);
}

void addOpenablePorts(PortMap &ports)
{
    for (int number = 1; number <= LAST_COM_NUMBER; ++number) {
        if (ports.count(number) != 0) {
            continue;
        }
        const HANDLE port = ComPortBackend_Open(number);
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
            ports[number] = "";
        } else if (ComPortBackend_OpenFailure() == PortOpenFailure::InUse) {
            ports[number] = "";
        }
    }
}

std::string deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA &device, DWORD property)
{
    char value[512] = "";
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, property, NULL, (BYTE *)value, sizeof value - 2, NULL)) {
        return "";
    }
    value[sizeof value - 2] = '\0';
    // A multi-string property (the hardware IDs) gives its first string.
    return value;
}

// The four hex digits after `key` ("VID_") in a hardware or instance ID,
// where the ID has them: "USB\VID_0403&PID_6001", "FTDIBUS\VID_0403+PID_6001+...".
std::string idField(const std::string &id, const char *key)
{
    const size_t at = id.find(key);
    if (at == std::string::npos || at + strlen(key) + 4 > id.size()) {
        return "";
    }
    const std::string digits = id.substr(at + strlen(key), 4);
    return digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos ? digits : "";
}

// A USB device's instance ID ends in its serial number ("USB\VID_0403&PID_6001\A5XK3RJT");
// one that Windows made up for a device without a serial number holds a '&'.
std::string usbSerialNumber(const std::string &instanceId)
{
    if (instanceId.compare(0, 4, "USB\\") != 0) {
        return "";
    }
    const size_t last = instanceId.find_last_of('\\');
    const std::string serial = instanceId.substr(last + 1);
    return last > 4 && serial.find('&') == std::string::npos ? serial : "";
}

struct PlugAndPlayDevice {
    std::string details;  // friendly name and hardware ID, in words
    PortIdentity identity;
};

// COM number -> what is known of its Plug and Play device.
std::map<int, PlugAndPlayDevice> plugAndPlayDevices(void)
{
    std::map<int, PlugAndPlayDevice> details;
    const HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, NULL, NULL, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return details;
    }
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        char portName[64] = "";
        DWORD length = sizeof portName - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key, "PortName", NULL, &type, (BYTE *)portName, &length) == ERROR_SUCCESS &&
            type == REG_SZ) {
            portName[length] = '\0';
        } else {
            portName[0] = '\0';
        }
        RegCloseKey(key);
        const int number = comNumber(portName);
        if (number == 0) {
            continue;
        }
        std::string text = deviceProperty(devices, device, SPDRP_FRIENDLYNAME);
        const std::string hardwareId = deviceProperty(devices, device, SPDRP_HARDWAREID);
        if (!hardwareId.empty()) {
            text += (text.empty() ? "" : ", ") + hardwareId;
        }
        char instanceId[512] = "";
        if (!SetupDiGetDeviceInstanceIdA(devices, &device, instanceId, sizeof instanceId, NULL)) {
            instanceId[0] = '\0';
        }
        PlugAndPlayDevice &found = details[number];
        found.details = text;
        found.identity.hardwareId = hardwareId;
        found.identity.instanceId = instanceId;
        found.identity.usbVendor = idField(hardwareId, "VID_");
        found.identity.usbProduct = idField(hardwareId, "PID_");
        found.identity.serialNumber = usbSerialNumber(instanceId);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return details;
}

}  // namespace

std::vector<ListedPort> PortEnumeration_ListPorts(void)
{
    PortMap ports;
    addDosDevices(ports);
    addRegistryPorts(ports);
    addOpenablePorts(ports);
    const std::map<int, PlugAndPlayDevice> described = plugAndPlayDevices();

    std::vector<ListedPort> listed;
    for (const auto &port : ports) {
        ListedPort entry;
        entry.comNumber = port.first;
        entry.name = "COM" + std::to_string(port.first);
        const auto description = described.find(port.first);
        if (description != described.end()) {
            entry.details = description->second.details;
            entry.identity = description->second.identity;
        } else {
            entry.details = port.second;
        }
        entry.identity.path = "\\\\.\\" + entry.name;
        listed.push_back(entry);
    }
    return listed;
}

std::vector<std::string> PortEnumeration_DiscoveryDevices(void)
{
    return {};
}
