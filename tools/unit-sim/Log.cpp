#include "Log.h"

#include <cstdarg>
#include <cstdio>

static bool gVerbose = false;

void setVerbose(bool on) { gVerbose = on; }

void logVerbose(const char *format, ...)
{
    if (!gVerbose)
        return;
    std::fputs("unit-sim: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::string printable(const std::string &bytes, std::size_t limit)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c >= 0x20 && c < 0x7f && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    if (bytes.size() > limit)
        text += "...";
    return text;
}
