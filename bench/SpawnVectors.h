// The argv and envp arrays that posix_spawn takes, built from strings: the
// program's arguments, and the bench's own environment behind the extra
// variables, which come first so that they win.
#ifndef BENCH_SPAWN_VECTORS_H
#define BENCH_SPAWN_VECTORS_H

#include <string>
#include <vector>

#include <unistd.h>

class SpawnVectors {
public:
    SpawnVectors(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv)
        : argStrings_(argv), envStrings_(extraEnv)
    {
        for (char **e = environ; *e; ++e)
            envStrings_.push_back(*e);
        for (std::string &s : argStrings_)
            args_.push_back(&s[0]);
        args_.push_back(nullptr);
        for (std::string &s : envStrings_)
            envp_.push_back(&s[0]);
        envp_.push_back(nullptr);
    }
    SpawnVectors(const SpawnVectors &) = delete;
    SpawnVectors &operator=(const SpawnVectors &) = delete;

    char *const *args() { return args_.data(); }
    char *const *envp() { return envp_.data(); }

private:
    std::vector<std::string> argStrings_;
    std::vector<std::string> envStrings_;
    std::vector<char *> args_;
    std::vector<char *> envp_;
};

#endif
