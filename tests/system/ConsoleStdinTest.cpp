// Number input and input discarding with standard input on a file, which
// every platform can arrange inside the test process.
#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "Console.h"

namespace {

// Relative to the test's own working directory, which is its build directory.
const char kInputFile[] = "console_stdin_input.txt";

void setStdin(const std::string &contents)
{
    FILE *file = fopen(kInputFile, "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fwrite(contents.data(), 1, contents.size(), file), contents.size());
    ASSERT_EQ(fclose(file), 0);
    ASSERT_NE(freopen(kInputFile, "r", stdin), nullptr);
}

TEST(ConsoleStdin, ReadDecimalTakesOneNumberAndLeavesTheValueOnAnythingElse)
{
    int value = 7;
    setStdin("42\n");
    EXPECT_EQ(Console_ReadDecimal(&value), 1);
    EXPECT_EQ(value, 42);

    setStdin("  -17 115200\n");
    EXPECT_EQ(Console_ReadDecimal(&value), 1);
    EXPECT_EQ(value, -17);
    EXPECT_EQ(Console_ReadDecimal(&value), 1);
    EXPECT_EQ(value, 115200);

    value = 7;
    setStdin("abc\n");
    EXPECT_EQ(Console_ReadDecimal(&value), 0);
    EXPECT_EQ(value, 7);

    setStdin("");
    EXPECT_EQ(Console_ReadDecimal(&value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(Console_ReadDecimal(&value), 0);
    EXPECT_EQ(value, 7);
}

TEST(ConsoleStdin, DiscardInputDropsWhatTheStreamHasBuffered)
{
    int value = 0;
    setStdin("1 2\n");
    ASSERT_EQ(Console_ReadDecimal(&value), 1);
    ASSERT_EQ(value, 1);
    Console_DiscardInput();
    EXPECT_EQ(Console_ReadDecimal(&value), 0);
    EXPECT_EQ(value, 1);
    remove(kInputFile);
}

TEST(ConsoleSleep, SleepsForTheGivenMilliseconds)
{
    const auto start = std::chrono::steady_clock::now();
    Console_SleepMs(40);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(30));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}

}  // namespace
