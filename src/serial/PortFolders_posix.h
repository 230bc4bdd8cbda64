// Where the POSIX backends find the ports, shared by the serial port and
// the port enumeration on POSIX systems. An empty variable counts as unset.
#ifndef PORT_FOLDERS_POSIX_H
#define PORT_FOLDERS_POSIX_H

#include <cstdlib>
#include <string>

// $RAVELIN_COM_DIR: when set, its comN links are the ports, and nothing else is.
inline std::string comPortFolder(void)
{
    const char *dir = getenv("RAVELIN_COM_DIR");
    return dir != nullptr ? dir : "";
}

// $RAVELIN_DEV_DIR, else /dev: where ttyS*, ttyUSB* and ttyACM* are looked up.
inline std::string deviceFolder(void)
{
    const char *dir = getenv("RAVELIN_DEV_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "/dev";
}

#endif
