// The tool's version, kept in this one place: the banner and the web package
// header print it, the Windows version resource carries it, and CMake reads
// the three numbers for the project and package version. Plain preprocessor
// lines only, so that the resource compiler and CMake's regular expression
// read this file as the compiler does.
#ifndef TOOL_VERSION_H
#define TOOL_VERSION_H

#define TOOL_VERSION_MAJOR 1
#define TOOL_VERSION_MINOR 0
#define TOOL_VERSION_PATCH 2

// "1.0.2", built from the numbers above: pasting 1, '.', 0, '.', 2 gives the
// single preprocessing number 1.0.2, which is then quoted as one literal.
#define TOOL_VERSION_JOIN_(major, minor, patch) major##.##minor##.##patch
#define TOOL_VERSION_JOIN(major, minor, patch) TOOL_VERSION_JOIN_(major, minor, patch)
#define TOOL_VERSION_QUOTE_(text) #text
#define TOOL_VERSION_QUOTE(text) TOOL_VERSION_QUOTE_(text)
#define FIRMWARE_VERSION_TO_UPLOAD \
    TOOL_VERSION_QUOTE(TOOL_VERSION_JOIN(TOOL_VERSION_MAJOR, TOOL_VERSION_MINOR, TOOL_VERSION_PATCH))

#endif
