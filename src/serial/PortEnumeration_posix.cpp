// The serial ports of a Linux system: the device nodes in the device folder
// (ttyS*, ttyUSB*, ttyACM*), or, with RAVELIN_COM_DIR set, its comN links.
//
// What is known of a device comes from libudev, looked up by the device
// number of what the name leads to, not by the name: a link in a test
// folder to a pseudo-terminal then has no identity (udev knows no pty)
// instead of borrowing that of a real adapter of the same name. The stable
// names are the links in serial/by-id of the device folder that lead to the
// same device; udev makes them in /dev, and tests can make their own.
#include "PortEnumeration.h"

#include <algorithm>

#include <dirent.h>
#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PortFolders_posix.h"

namespace {

// The kinds of device node that are serial ports, in listing order.
const char *const kSerialKinds[] = {"ttyS", "ttyUSB", "ttyACM"};
const size_t kFirstUsbKind = 1;

struct NamedEntry {
    std::string name;
    int number;
};

// `name` is `prefix` followed by a decimal number of at most 9 digits.
bool numberedName(const std::string &name, const std::string &prefix, int &number)
{
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    number = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
        number = number * 10 + (name[i] - '0');
    }
    return true;
}

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    return names;
}

// The entries of `folder` named `prefix` + number, by number.
std::vector<NamedEntry> numberedEntries(const std::string &folder, const std::string &prefix)
{
    std::vector<NamedEntry> entries;
    for (const std::string &name : folderEntries(folder)) {
        int number = 0;
        if (numberedName(name, prefix, number)) {
            entries.push_back({name, number});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const NamedEntry &a, const NamedEntry &b) { return a.number < b.number; });
    return entries;
}

// The character device that `path` leads to, following links.
bool characterDevice(const std::string &path, dev_t &device)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    device = info.st_rdev;
    return true;
}

std::string linkTarget(const std::string &path)
{
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, (size_t)length) : "";
}

void addDetail(std::string &details, const std::string &detail)
{
    if (detail.empty()) {
        return;
    }
    if (!details.empty()) {
        details += ", ";
    }
    details += detail;
}

std::string attribute(udev_device *device, const char *name)
{
    const char *value = udev_device_get_sysattr_value(device, name);
    return value != nullptr ? value : "";
}

struct SystemKnowledge {
    bool known = false;        // udev knows the device
    bool noHardware = false;   // a serial port that the kernel found no UART behind
    std::string usbIdentity;   // "USB 0403:6001, maker, product, serial S"
    PortIdentity identity;     // the same, member by member
};

SystemKnowledge askUdev(dev_t number)
{
    SystemKnowledge knowledge;
    udev *context = udev_new();
    if (context == nullptr) {
        return knowledge;
    }
    if (udev_device *device = udev_device_new_from_devnum(context, 'c', number)) {
        knowledge.known = true;
        // The 8250 driver makes ttyS nodes for ports that it may never find;
        // their port type reads 0 ("unknown").
        knowledge.noHardware = attribute(device, "type") == "0";
        // Owned by `device`: not to be released on its own.
        if (udev_device *usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
            PortIdentity &adapter = knowledge.identity;
            adapter.usbVendor = attribute(usb, "idVendor");
            adapter.usbProduct = attribute(usb, "idProduct");
            adapter.manufacturer = attribute(usb, "manufacturer");
            adapter.product = attribute(usb, "product");
            adapter.serialNumber = attribute(usb, "serial");
            std::string identity = "USB " + adapter.usbVendor + ":" + adapter.usbProduct;
            addDetail(identity, adapter.manufacturer);
            addDetail(identity, adapter.product);
            addDetail(identity, adapter.serialNumber.empty() ? "" : "serial " + adapter.serialNumber);
            knowledge.usbIdentity = identity;
        }
        udev_device_unref(device);
    }
    udev_unref(context);
    return knowledge;
}

// The stable by-id link of the device, if one leads to it.
std::string byIdLink(dev_t number)
{
    const std::string folder = deviceFolder() + "/serial/by-id";
    std::vector<std::string> names = folderEntries(folder);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        dev_t linked = 0;
        if (name[0] != '.' && characterDevice(folder + "/" + name, linked) && linked == number) {
            return folder + "/" + name;
        }
    }
    return "";
}

std::vector<ListedPort> comFolderPorts(const std::string &folder)
{
    std::vector<ListedPort> ports;
    for (const NamedEntry &entry : numberedEntries(folder, "com")) {
        const std::string path = folder + "/" + entry.name;
        dev_t number = 0;
        if (entry.number < 1 || !characterDevice(path, number)) {
            continue;
        }
        ListedPort port;
        port.comNumber = entry.number;
        port.name = "COM" + std::to_string(entry.number);
        port.details = linkTarget(path);
        port.identity.path = path;
        ports.push_back(port);
    }
    return ports;
}

std::vector<ListedPort> deviceFolderPorts(const std::string &folder)
{
    std::vector<ListedPort> ports;
    for (size_t kind = 0; kind < sizeof kSerialKinds / sizeof kSerialKinds[0]; ++kind) {
        for (const NamedEntry &entry : numberedEntries(folder, kSerialKinds[kind])) {
            const std::string path = folder + "/" + entry.name;
            dev_t number = 0;
            if (!characterDevice(path, number)) {
                continue;
            }
            const SystemKnowledge knowledge = askUdev(number);
            if (knowledge.noHardware) {
                continue;
            }
            ListedPort port;
            port.name = path;
            port.device = path;
            port.identity = knowledge.identity;
            port.identity.path = path;
            port.identity.byId = byIdLink(number);
            // COM N is ttyS<N-1>; the other kinds have no COM number.
            if (kind < kFirstUsbKind && entry.number < 255) {
                port.comNumber = entry.number + 1;
                port.device.clear();
                addDetail(port.details, "COM" + std::to_string(port.comNumber));
            }
            addDetail(port.details, knowledge.usbIdentity);
            addDetail(port.details, port.identity.byId);
            ports.push_back(port);
        }
    }
    return ports;
}

}  // namespace

std::vector<ListedPort> PortEnumeration_ListPorts(void)
{
    const std::string comFolder = comPortFolder();
    return comFolder.empty() ? deviceFolderPorts(deviceFolder()) : comFolderPorts(comFolder);
}

std::vector<std::string> PortEnumeration_DiscoveryDevices(void)
{
    std::vector<std::string> devices;
    if (!comPortFolder().empty()) {
        return devices;
    }
    const std::string folder = deviceFolder();
    for (size_t kind = kFirstUsbKind; kind < sizeof kSerialKinds / sizeof kSerialKinds[0]; ++kind) {
        for (const NamedEntry &entry : numberedEntries(folder, kSerialKinds[kind])) {
            dev_t number = 0;
            if (characterDevice(folder + "/" + entry.name, number)) {
                devices.push_back(folder + "/" + entry.name);
            }
        }
    }
    return devices;
}
