#include "HostName.h"

#include <unistd.h>

std::string HostName_Get(void)
{
    char name[256] = "";
    // A name that fills the buffer may come without its NUL.
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    name[sizeof name - 1] = '\0';
    return name;
}
