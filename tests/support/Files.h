// Small file and timing helpers for tests.
#ifndef SUPPORT_FILES_H
#define SUPPORT_FILES_H

#include <chrono>
#include <functional>
#include <string>

// The whole file as bytes; throws std::runtime_error when it cannot be read.
std::string readFile(const std::string &path);
// Creates or replaces the file; throws std::runtime_error on failure.
void writeFile(const std::string &path, const std::string &bytes);
// The name exists, even as a link that points nowhere.
bool fileExists(const std::string &path);

// Checks `condition` every 10 ms until it holds (true) or `timeout` passes
// (false).
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout);

#endif
