// A port as a test sees it from its own descriptor, set up first the way a
// terminal program would leave it (4800 baud, line mode, echo, signals), so
// that a run that changes the port and does not put it back shows.
#ifndef TEST_SUPPORT_PORT_UNDER_TEST_H
#define TEST_SUPPORT_PORT_UNDER_TEST_H

#include <string>
#include <termios.h>

class PortUnderTest {
public:
    // Throws std::runtime_error when `path` cannot be opened as a terminal.
    explicit PortUnderTest(const std::string &path);
    ~PortUnderTest();
    PortUnderTest(const PortUnderTest &) = delete;
    PortUnderTest &operator=(const PortUnderTest &) = delete;

    // Empty when the port reads back as it was set up; otherwise what
    // differs: " speed", " local modes", " input, output or control modes".
    std::string changes() const;

private:
    int fd_;
    termios before_{};
};

#endif
