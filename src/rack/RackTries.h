// --retries: which ports a rack runs again, and how the board names a try.
#ifndef RACK_TRIES_H
#define RACK_TRIES_H

#include <string>

#include "ProgressEvent.h"

#define RACK_MOST_RETRIES 5

// A port is run again after a failure that a new try may not meet: not
// when no unit answered, the unit was left alone, it is not a unit this
// tool updates, or the rack was stopped.
bool rackTriesAgain(const ProgressEvent &last);

// " (2nd try)", " (3rd try)"...; empty for the first.
std::string rackTryNote(int attempt);

#endif
