// str_split and the allocator: the table sizes it asks for, and what it does
// when the allocator refuses. This program alone is linked with
// --wrap=malloc, --wrap=realloc and --wrap=free, so the library's calls come
// through the wrappers below, which watch them only while a test asks. malloc
// is watched like realloc because the compiler may turn a realloc of a block
// known to be null into a malloc.
#include "StringOperations.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" void *__real_malloc(size_t size);
extern "C" void *__real_realloc(void *block, size_t size);
extern "C" void __real_free(void *block);

namespace {

// Plain storage only: the wrappers must not allocate themselves.
struct AllocatorWatch {
    bool on = false;
    int failingCall = -1;  // index of the allocation call that answers null
    int calls = 0;
    size_t sizes[64] = {};
    void *lastBlock = nullptr;
    bool lastBlockFreed = false;
};
AllocatorWatch watch;

void startWatching(int failingCall = -1)
{
    watch = AllocatorWatch();
    watch.failingCall = failingCall;
    watch.on = true;
}

std::vector<size_t> stopWatching()
{
    watch.on = false;
    return std::vector<size_t>(watch.sizes, watch.sizes + watch.calls);
}

struct TableDeleter {
    void operator()(char **table) const { free(table); }
};
using Table = std::unique_ptr<char *[], TableDeleter>;

}  // namespace

// Records the size asked for; true when this call is the one to refuse.
static bool refuseWatchedCall(size_t size)
{
    const int call = watch.calls++;
    if (call < 64) {
        watch.sizes[call] = size;
    }
    return call == watch.failingCall;
}

extern "C" void *__wrap_malloc(size_t size)
{
    if (!watch.on) {
        return __real_malloc(size);
    }
    if (refuseWatchedCall(size)) {
        return nullptr;
    }
    watch.lastBlock = __real_malloc(size);
    return watch.lastBlock;
}

extern "C" void *__wrap_realloc(void *block, size_t size)
{
    if (!watch.on) {
        return __real_realloc(block, size);
    }
    if (refuseWatchedCall(size)) {
        return nullptr;
    }
    watch.lastBlock = __real_realloc(block, size);
    return watch.lastBlock;
}

extern "C" void __wrap_free(void *block)
{
    if (watch.on && block != nullptr && block == watch.lastBlock) {
        watch.lastBlockFreed = true;
        fputs("table released\n", stderr);
    }
    __real_free(block);
}

namespace {

constexpr size_t ENTRY = sizeof(char *);

TEST(SplitAllocation, CapacityDoublesFromTwoEntries)
{
    char one[] = "a";
    startWatching();
    Table oneTable(str_split(one, ":"));
    EXPECT_EQ(stopWatching(), (std::vector<size_t>{2 * ENTRY}));

    char three[] = "a:b:c";
    startWatching();
    Table threeTable(str_split(three, ":"));
    EXPECT_EQ(stopWatching(), (std::vector<size_t>{2 * ENTRY, 4 * ENTRY}));
    EXPECT_EQ(threeTable[3], nullptr);

    char four[] = "a:b:c:d";
    startWatching();
    Table fourTable(str_split(four, ":"));
    EXPECT_EQ(stopWatching(), (std::vector<size_t>{2 * ENTRY, 4 * ENTRY, 8 * ENTRY}));
    EXPECT_EQ(fourTable[4], nullptr);
}

TEST(SplitAllocation, NoTokenStillAllocatesRoomForTheTerminator)
{
    char text[] = ":::";
    startWatching();
    Table table(str_split(text, ":"));
    const std::vector<size_t> sizes = stopWatching();
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_GE(sizes[0], ENTRY);
    EXPECT_EQ(table[0], nullptr);
}

// The line goes to standard output; the child sends it to standard error
// unbuffered, so that it comes before the wrapper's note of the release.
void splitWhileTheAllocatorFails(const char *source, int failingCall)
{
    dup2(STDERR_FILENO, STDOUT_FILENO);
    setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<char> text(source, source + strlen(source) + 1);
    startWatching(failingCall);
    str_split(text.data(), ":");
}

TEST(SplitAllocationDeathTest, FailedGrowthReportsReleasesTheTableAndEndsInFailure)
{
    EXPECT_EXIT(splitWhileTheAllocatorFails("a:b:c", 1), testing::ExitedWithCode(EXIT_FAILURE),
                "^Memoire insuffisante\ntable released\n$");
}

TEST(SplitAllocationDeathTest, FailedFirstAllocationReportsAndEndsInFailure)
{
    EXPECT_EXIT(splitWhileTheAllocatorFails("a:b:c", 0), testing::ExitedWithCode(EXIT_FAILURE),
                "^Memoire insuffisante\n$");
    EXPECT_EXIT(splitWhileTheAllocatorFails(":::", 0), testing::ExitedWithCode(EXIT_FAILURE),
                "^Memoire insuffisante\n$");
}

}  // namespace
