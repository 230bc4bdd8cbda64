#include "Log.h"

#include "support/Escaped.h"

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
    std::string text = escaped(bytes.substr(0, limit));
    if (bytes.size() > limit)
        text += "...";
    return text;
}
