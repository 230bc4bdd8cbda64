// Diagnostics of the simulator. Everything goes to stderr, and only with
// --verbose: stdout carries the one ready line that tests wait for.
#ifndef UNIT_SIM_LOG_H
#define UNIT_SIM_LOG_H

#include <string>

void setVerbose(bool on);
void logVerbose(const char *format, ...) __attribute__((format(printf, 1, 2)));
// At most `limit` bytes as readable text (escaped, as the tests' own
// diagnostics show bytes), with "..." when there were more.
std::string printable(const std::string &bytes, std::size_t limit = 80);

#endif
