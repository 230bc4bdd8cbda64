// Processes that a run starts and watches (--all runs this same tool once
// per port), and the stop requests that end such a run. One backend per
// platform.
//
// A child's standard input is the null device; its standard output and
// standard error come back through one pipe that the parent reads without
// waiting. Children do not take the terminal's Ctrl-C themselves: the parent
// gets it, stops them and reports. Should the parent be killed outright,
// the system ends its children too (Linux: a parent-death signal; Windows:
// a job object that kills its processes when the parent's handle closes).
#ifndef CHILD_PROCESS_H
#define CHILD_PROCESS_H

#include <cstdio>
#include <string>
#include <vector>

struct ChildProcess;

// The full path of the running program; empty when the system does not say.
std::string ChildProcess_OwnExecutable(void);

// Starts arguments[0], a full path, with the rest as its arguments. Null,
// with `error` saying why, when it cannot start. A `passedFile` is handed to
// the child open, where the system allows it, so that the child writes to
// that very file whatever becomes of its name; the child opens it under
// ChildProcess_PassedFileName(its name).
ChildProcess *ChildProcess_Start(const std::vector<std::string> &arguments, std::string &error,
                                 FILE *passedFile = nullptr);
// The name under which a child opens the file passed to it: on Linux its
// inherited descriptor's, elsewhere `name` itself.
std::string ChildProcess_PassedFileName(const std::string &name);

// Returns once one of the children has output to read or has ended its
// output, once a stop request has come, or after `timeoutMs`.
void ChildProcess_WaitForOutput(const std::vector<ChildProcess *> &children, int timeoutMs);

// Appends whatever the child wrote that was not read yet, without waiting.
// False once its output has ended (it closed it, or it ended) and all of it
// was read.
bool ChildProcess_Read(ChildProcess *child, std::string &output);

// For a child whose output has ended: waits for it to end (and stops it if
// it lingers), frees it and gives its exit status (128 + N when signal N
// ended it on POSIX).
int ChildProcess_Finish(ChildProcess *child);

// Ends the child now (on POSIX a termination signal, then a kill if it does
// not end within two seconds), frees it and gives its exit status.
int ChildProcess_Stop(ChildProcess *child);

// From now on Ctrl-C, a closing console or terminal, and a termination
// request no longer end the process at once; they are stop requests.
void ChildProcess_CatchStopRequests(void);
bool ChildProcess_StopRequested(void);
// Once no child is left to stop: the requests end the process at once again,
// as they did before ChildProcess_CatchStopRequests.
void ChildProcess_ReleaseStopRequests(void);
// Ends the process the way the stop request would have ended it, for the
// shell or the console to see. Call it once everything is cleaned up.
void ChildProcess_EndAsRequested(void);
// The exit status that ending so gives, as a shell or a program that started
// the tool sees it: 128 + the signal on POSIX (130 for Ctrl-C), 0xC000013A on
// Windows.
long long ChildProcess_RequestedExitStatus(void);

#endif
