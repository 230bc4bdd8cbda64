// The name of the machine the tool runs on, as its system knows it, for
// records that gather runs of several machines. One backend per platform.
#ifndef HOST_NAME_H
#define HOST_NAME_H

#include <string>

// Empty when the system does not say.
std::string HostName_Get(void);

#endif
