// Bytes as one readable line for a diagnostic: printable ASCII as it is,
// CR, LF and backspace as \r, \n and \b, everything else (the backslash
// included, so that the text reads back unambiguously) as \xNN. The tests'
// failure messages and the simulated unit's log both use it.
#ifndef SUPPORT_ESCAPED_H
#define SUPPORT_ESCAPED_H

#include <string>

std::string escaped(const std::string &bytes);

#endif
