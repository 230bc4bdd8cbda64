// The signals that end a process when nobody handles them and that a handler
// can catch: what the tool's guards put the port and the terminal back on.
// One list for every guard, so that no guard misses a signal that another
// one knows of.
#ifndef ENDING_SIGNALS_POSIX_H
#define ENDING_SIGNALS_POSIX_H

#include <csignal>

// Raised by a fault of the program itself (or sent as if it were): their
// handler must end the process, never return to the faulting instruction.
inline bool EndingSignals_IsFault(int sig)
{
    return sig == SIGILL || sig == SIGTRAP || sig == SIGABRT || sig == SIGBUS || sig == SIGFPE ||
           sig == SIGSEGV || sig == SIGSYS;
}

// Calls visit(sig) once for each of them. SIGPIPE and SIGXFSZ are among
// them; the tool ignores both from the start, and a guard leaves an ignored
// signal ignored.
template <typename Visit>
void EndingSignals_ForEach(Visit visit)
{
    static const int kNamed[] = {
        SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
        SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
        SIGSTKFLT,
#endif
#ifdef SIGPOLL
        SIGPOLL,
#elif defined(SIGIO)
        SIGIO,
#endif
#ifdef SIGPWR
        SIGPWR,
#endif
#ifdef SIGEMT
        SIGEMT,
#endif
#ifdef SIGLOST
        SIGLOST,
#endif
    };
    for (int sig : kNamed) {
        visit(sig);
    }
    // The real-time signals end the process by default too; the C library
    // keeps the few below SIGRTMIN for itself.
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) {
        visit(sig);
    }
}

#endif
