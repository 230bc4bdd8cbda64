// What the system knows of its serial ports, one backend per platform: the
// ports that exist, for --list-ports, and the devices beyond the COM numbers
// that discovery tries after COM1..COM32. Opens nothing and sends nothing;
// whether a port is in use is for ComPortAPI's probe to find out.
#ifndef PORT_ENUMERATION_H
#define PORT_ENUMERATION_H

#include <string>
#include <vector>

// What the system says identifies a port beside its name, for programs that
// keep one record a unit: each member empty when the system does not say.
struct PortIdentity {
    std::string path;  // the device node or name opened: "/dev/ttyUSB0", "\\.\COM3"
    std::string byId;  // Linux: the stable link in serial/by-id that leads to it
    // A USB adapter's, as the system reads them from the device.
    std::string usbVendor;   // "0403"
    std::string usbProduct;  // "6001"
    std::string serialNumber;
    std::string manufacturer;
    std::string product;
    // Windows: the Plug and Play device's first hardware ID and its instance ID.
    std::string hardwareId;
    std::string instanceId;
};

struct ListedPort {
    // What the tool opens: a COM number (1 and up), or else the device.
    int comNumber = 0;
    std::string device;
    // How the operator names it to --port: "COM3", "/dev/ttyUSB0".
    std::string name;
    // What the system knows of it, in words, possibly nothing: a Windows
    // friendly name; a USB adapter's IDs, maker, product, serial number and
    // stable by-id name; the target of a COM link.
    std::string details;
    PortIdentity identity;
};

// The serial ports that exist, in a stable order: COM ports by number, then
// the other devices by kind and number.
std::vector<ListedPort> PortEnumeration_ListPorts(void);

// The devices that discovery tries after COM1..COM32, in a stable order.
// Linux without RAVELIN_COM_DIR: the USB serial devices (ttyUSB*, then
// ttyACM*, by number). Elsewhere none: every Windows port has a COM number.
std::vector<std::string> PortEnumeration_DiscoveryDevices(void);

#endif
