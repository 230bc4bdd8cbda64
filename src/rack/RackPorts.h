// The ports a rack searches: every port that discovery would try and this
// user can open, or the ports named with --port, in the order named.
#ifndef RACK_PORTS_H
#define RACK_PORTS_H

#include <string>
#include <vector>

#include "CommandLine.h"

struct RackPortChoice {
    std::string name;        // "COM3", "/dev/ttyUSB0": as the board and the report name it
    std::string portOption;  // what its process gets after --port
    bool missing = false;    // named, and no such port exists
    std::string refusal;     // named, exists, and cannot be opened: why; empty otherwise
};

// COM1..COM32 and then the devices without a COM number, those that open:
// a port held by another program is passed over, as discovery passes it.
std::vector<RackPortChoice> rackEveryPort(void);

// The ports named, in order, each probed. False, with `error`, when one
// port is named twice (as "3" and "COM3", say).
bool rackNamedPorts(const std::vector<NamedPort> &named, std::vector<RackPortChoice> &ports, std::string &error);

#endif
