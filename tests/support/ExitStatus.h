// The tool's exit statuses as the parent sees them, written out here rather
// than taken from the tool, so that a changed status fails the tests.
#ifndef SUPPORT_EXIT_STATUS_H
#define SUPPORT_EXIT_STATUS_H

constexpr int EXIT_UPDATED = 0;
constexpr int EXIT_UPDATE_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NOT_CONFIRMED = 3;
constexpr int EXIT_NOT_VERIFIED = 4;
constexpr int EXIT_NO_CONNECTION = 255;

#endif
