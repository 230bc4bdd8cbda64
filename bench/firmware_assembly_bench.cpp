// firmware_assembly_bench [REPETITIONS]
//
// Times, in one run, what the tool does with the TX programmable-logic image
// (copy the catalogue entry, assemble it, compute the checksum) against
// objcopy converting the same file to binary, as a separate process each
// time. Runs alternate between the two after one warm-up each; the medians
// are reported, with the share of objcopy's time the tool takes. The images
// must be identical, or the run fails.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "BinImage.h"
#include "RavelinFwUpgrade.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct ToolTimes {
    double copy, assembly, checkSum;
};

bool runTool(ToolTimes *times)
{
    Clock::time_point start = Clock::now();
    char *text = newCatalogueTextCopy(CATALOGUE_TX_LOGIC);
    times->copy = millisecondsSince(start);
    if (text == nullptr)
        return false;
    start = Clock::now();
    const BOOL ok = ValidateFwAndConcatenateData(text);
    times->assembly = millisecondsSince(start);
    start = Clock::now();
    computeImageCheckSum();
    times->checkSum = millisecondsSince(start);
    free(text);
    return ok == 1;
}

bool runObjcopy(const std::string &in, const std::string &out, double *milliseconds)
{
    std::vector<std::string> args = {OBJCOPY, "-I", "ihex", "-O", "binary", in, out};
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, OBJCOPY, nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    const bool ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    *milliseconds = millisecondsSince(start);
    return ok;
}

std::string cpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

}  // namespace

int main(int argc, char **argv)
{
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 21;
    if (repetitions < 1) {
        std::fprintf(stderr, "usage: firmware_assembly_bench [REPETITIONS]\n");
        return 2;
    }
    const std::string in = std::string(FIRMWARE_BUILD_DIR) + "/M418260_TX_XC7A75_1_02.mcs";
    const std::string out = std::string(BENCH_WORK_DIR) + "/objcopy-image.bin";
    if (!allocateSessionBuffers()) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }

    std::vector<double> copy, assembly, checkSum, tool, objcopy;
    for (int run = -1; run < repetitions; ++run) {
        ToolTimes t;
        double o = 0;
        if (!runTool(&t)) {
            std::fprintf(stderr, "the assembly failed\n");
            return 1;
        }
        if (!runObjcopy(in, out, &o)) {
            std::fprintf(stderr, "%s failed on %s\n", OBJCOPY, in.c_str());
            return 1;
        }
        if (run < 0)
            continue;  // warm-up: page cache, allocator, dynamic loader
        copy.push_back(t.copy);
        assembly.push_back(t.assembly);
        checkSum.push_back(t.checkSum);
        tool.push_back(t.copy + t.assembly + t.checkSum);
        objcopy.push_back(o);
    }

    std::ifstream file(out, std::ios::binary);
    const std::vector<uint8_t> reference((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(out.c_str());
    const bool same = reference.size() == static_cast<size_t>(gDataConcatenatedLenght) &&
                      std::equal(reference.begin(), reference.end(), gDataConcatenated);

    std::printf("machine: %u hardware threads, %s\n", std::thread::hardware_concurrency(), cpuModel().c_str());
    std::printf("input: %s (%d bytes), image %d bytes, checksum %u\n", in.c_str(),
                AUTOGEN_FILES[CATALOGUE_TX_LOGIC].fileDataLength, gDataConcatenatedLenght,
                gDataConcatenatedCheckSum);
    std::printf("medians of %d runs (ms):\n", repetitions);
    std::printf("  tool copy            %8.2f\n", median(copy));
    std::printf("  tool assembly        %8.2f\n", median(assembly));
    std::printf("  tool checksum        %8.2f\n", median(checkSum));
    std::printf("  tool total           %8.2f\n", median(tool));
    std::printf("  objcopy (process)    %8.2f\n", median(objcopy));
    std::printf("tool / objcopy: %.2f (goal: at most 0.50)\n", median(tool) / median(objcopy));
    std::printf("images identical: %s\n", same ? "yes" : "NO");
    releaseSessionBuffers();
    return same ? 0 : 1;
}
