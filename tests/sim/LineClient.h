// The tool's end of the line, as the simulator's tests drive it: the link
// opened like a serial port, raw, at a chosen rate.
#ifndef SIM_LINE_CLIENT_H
#define SIM_LINE_CLIENT_H

#include <chrono>
#include <string>

class LineClient {
public:
    // Throws std::runtime_error when the link cannot be opened or set.
    LineClient(const std::string &path, int baud);
    ~LineClient();
    LineClient(const LineClient &) = delete;
    LineClient &operator=(const LineClient &) = delete;

    void setBaud(int baud);
    // False when the line refused the bytes (the unit hung up) or took none
    // of them for `stall` (the unit stopped reading and the pty is full), so
    // that a unit that stops reading fails a test instead of hanging it.
    bool send(const std::string &bytes, std::chrono::milliseconds stall = std::chrono::seconds(5));
    // One command line as the tool frames it: "%%" + command + "\n\r".
    bool command(const std::string &command) { return send("%%" + command + "\n\r"); }
    // Everything that arrives until the line stays silent for `window`. The
    // first byte gets at least a second, so that a unit that a loaded machine
    // schedules late is not taken for a silent one; an expected silence
    // costs that second.
    std::string reply(std::chrono::milliseconds window = std::chrono::milliseconds(150));

private:
    int fd_ = -1;
};

#endif
