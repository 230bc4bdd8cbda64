// A pseudo-terminal that a program under test gets as its console: the
// program is handed terminal(), the test types on and reads master().
#ifndef TEST_SUPPORT_PSEUDO_TERMINAL_H
#define TEST_SUPPORT_PSEUDO_TERMINAL_H

#include <string>
#include <termios.h>

class PseudoTerminal {
public:
    // Throws std::runtime_error when no pseudo-terminal can be had.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    int terminal() const { return terminal_; }
    int master() const { return master_; }
    // The terminal's settings as they are now.
    termios settings() const;
    // Line editing and echo, as a shell leaves a terminal between programs.
    bool inLineMode() const;
    // Keys typed on the terminal; false when not all of them went.
    bool type(const std::string &keys);

private:
    int master_ = -1;
    int terminal_ = -1;
};

#endif
