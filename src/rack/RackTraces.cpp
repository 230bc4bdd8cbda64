#include "RackTraces.h"

#include <ctime>

#include "Trace.h"

namespace {

// The rack's start in local time, as the trace files are named.
std::string startStamp(void)
{
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm *local = std::localtime(&now)) {
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", local);
    }
    return text;
}

std::string traceFileName(const std::string &port, const std::string &stamp)
{
    std::string name = port.substr(port.find_last_of("/\\") + 1);
    for (char &c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        c = plain ? c : '_';
    }
    return "RavelinFwUpgrade-" + name + "-" + stamp + ".log";
}

}  // namespace

RackTraces::RackTraces(const std::string &folder) : folder_(folder), stamp_(startStamp()) {}

std::string RackTraces::pathFor(const std::string &port) const
{
    const std::string name = traceFileName(port, stamp_);
    return folder_.empty() ? name : folder_ + "/" + name;
}

bool RackTraces::folderWritable(void) const
{
    // A missing folder, a file in its place or one this user may not write
    // all fail the creation of a new file, with the system's reason.
    std::string probe;
    std::string error;
    FILE *check = Trace_CreateNew(pathFor("check"), probe, error);
    if (check == nullptr) {
        fprintf(stderr, "ERROR: --log-dir: no trace can be written in \"%s\": %s.\n",
                folder_.empty() ? "." : folder_.c_str(), error.c_str());
        return false;
    }
    fclose(check);
    remove(probe.c_str());
    return true;
}

FILE *RackTraces::createFor(const std::string &port, std::string &path, std::string &error) const
{
    FILE *trace = Trace_CreateNew(pathFor(port), path, error);
    if (trace == nullptr) {
        path = pathFor(port);
    }
    return trace;
}
