// --list-ports: the serial ports that exist, one a line, with what the
// system knows of each, and whether another program holds it or this user
// may not open it. Each port is opened and closed again, without settings,
// to find that out; nothing is sent to any.
#ifndef LIST_PORTS_MODE_H
#define LIST_PORTS_MODE_H

#define LIST_PORTS_IN_USE "(in use)"
#define LIST_PORTS_NO_PERMISSION "(no permission)"
#define LIST_PORTS_NONE "No serial port found."

// The process exit status: 0.
int runListPorts(void);

#endif
