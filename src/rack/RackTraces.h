// The trace file of each port of a rack: its name, and its creation as a new
// file, so that a name planted in the folder (a link, a file) is passed over,
// never opened.
#ifndef RACK_TRACES_H
#define RACK_TRACES_H

#include <cstdio>
#include <string>

// The traces of one rack: one folder (empty: the current one) and the
// rack's start in local time.
class RackTraces {
public:
    explicit RackTraces(const std::string &folder);

    // "RavelinFwUpgrade-COM3-20261208-051838.log", "RavelinFwUpgrade-ttyUSB0-..."
    // in the folder: the port's name without its folder, in the characters
    // every file system takes, and the start of the rack.
    std::string pathFor(const std::string &port) const;
    // False, with the reason on stderr, when no trace can be written where
    // the traces go.
    bool folderWritable(void) const;
    // The port's trace, created new and open for writing; `path` is its
    // name either way. Null, with the system's reason in `error`, when it
    // cannot be created.
    FILE *createFor(const std::string &port, std::string &path, std::string &error) const;

private:
    std::string folder_;
    std::string stamp_;
};

#endif
