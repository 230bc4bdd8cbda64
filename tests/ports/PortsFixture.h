// What the port and trace tests share: the tool run with its arguments and
// environment, and pseudo-terminals of the test's own linked into a folder.
#ifndef PORTS_FIXTURE_H
#define PORTS_FIXTURE_H

#include "e2e/UpdateRun.h"
#include "support/Process.h"
#include "support/ToolUnderTest.h"

#include <chrono>
#include <string>
#include <vector>

// A pseudo-terminal that nobody answers on, linked as DIR/NAME while it lives.
class LinkedPty {
public:
    LinkedPty(const std::string &dir, const std::string &name);
    ~LinkedPty();
    LinkedPty(const LinkedPty &) = delete;
    LinkedPty &operator=(const LinkedPty &) = delete;

    const std::string &slavePath() const { return slave_; }
    const std::string &linkPath() const { return link_; }

private:
    int master_ = -1;
    std::string slave_;
    std::string link_;
};

// Runs the tool with `args`, stdin from /dev/null.
ProcessResult runToolIn(ToolBuild build, const std::vector<std::string> &args, const Environment &env,
                          std::chrono::seconds timeout = std::chrono::seconds(60));

// How many times `part` occurs in `text`.
int occurrences(const std::string &text, const std::string &part);

#endif
