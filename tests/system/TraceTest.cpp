// The trace file: records written through while the run goes on, escaped
// bytes, console output gathered into lines, image streams as pieces.
#include "Trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// In text mode: the trace is a text file, with CR LF line ends on Windows.
std::string readAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The records without their time stamps.
std::vector<std::string> records(const std::string &path)
{
    std::vector<std::string> texts;
    std::istringstream in(readAll(path));
    std::string line;
    while (std::getline(in, line)) {
        const size_t stamp = line.find(" ms  ");
        texts.push_back(stamp == std::string::npos ? "?" + line : line.substr(stamp + 5));
    }
    return texts;
}

class TraceFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "trace_test_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::string error;
        ASSERT_TRUE(Trace_Open(path_, error)) << error;
    }
    void TearDown() override
    {
        Trace_Close();
        std::remove(path_.c_str());
    }
    std::string path_;
};

}  // namespace

TEST(TraceEscape, ShowsEveryByteAsText)
{
    const char bytes[] = "%%%fw -v\n\r\t\b\"\\\x00\x7f\xff A";
    EXPECT_EQ(Trace_Escape(bytes, sizeof bytes - 1), "%%%fw -v\\n\\r\\t\\b\\\"\\\\\\x00\\x7f\\xff A");
}

TEST(TraceOff, RecordsNothingAndOpensNothing)
{
    ASSERT_FALSE(Trace_IsOn());
    Trace_Note("nowhere");
    Trace_Written("x", 1, 1, 0, "");
    EXPECT_EQ(Trace_Millis(), 0);
}

TEST(TraceOpen, UnwritablePathSaysWhy)
{
    std::string error;
    EXPECT_FALSE(Trace_Open("/nonexistent-folder/trace.txt", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Trace_IsOn());
}

TEST_F(TraceFile, EachRecordIsInTheFileBeforeTheNextCall)
{
    Trace_Note("first");
    EXPECT_EQ(records(path_), std::vector<std::string>{"first"});
    Trace_Written("%%%fw -v\n\r", 10, 10, 0, "");
    EXPECT_EQ(records(path_).back(), "write 10 of 10 bytes in 0 ms: \"%%%fw -v\\n\\r\"");
    Trace_Read("", 0, 0, "Input/output error (errno 5)");
    EXPECT_EQ(records(path_).back(), "read nothing in 0 ms FAILED: Input/output error (errno 5)");
}

TEST_F(TraceFile, ConsoleOutputBecomesOneRecordALineAndPendingTextKeepsItsPlace)
{
    Trace_Console("Checking product .......... ", 28);
    Trace_Written("%%%fw -p\n\r", 10, 10, 1, "");
    Trace_Console("TX OK\r\n\nnext", 12);
    Trace_Close();
    EXPECT_EQ(records(path_), (std::vector<std::string>{"console \"Checking product .......... \"",
                                                       "write 10 of 10 bytes in 1 ms: \"%%%fw -p\\n\\r\"",
                                                       "console \"TX OK\\r\"", "console \"\"", "console \"next\""}));
}

TEST_F(TraceFile, AnImageStreamIsCountedPieceByPieceAndEndedByTheNextRead)
{
    const std::vector<char> piece(10240, '\x5a');
    Trace_StreamBegin(25000);
    Trace_Written(piece.data(), 10240, 10240, 3, "");
    Trace_Written(piece.data(), 10240, 10240, 4, "");
    Trace_Written(piece.data(), 4520, 4520, 1, "");
    Trace_Read("SUCCESS", 7, 12, "");
    const std::vector<std::string> texts = records(path_);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "image stream of 25000 bytes");
    EXPECT_EQ(texts[1], "piece 1: 10240 of 10240 bytes in 3 ms, 10240 of 25000 sent");
    EXPECT_EQ(texts[3], "piece 3: 4520 of 4520 bytes in 1 ms, 25000 of 25000 sent");
    EXPECT_EQ(texts[4].rfind("image stream done: 25000 of 25000 bytes in 3 pieces, ", 0), 0u) << texts[4];
    EXPECT_EQ(texts[5], "read 7 bytes in 12 ms: \"SUCCESS\"");
    // No byte of the image is in the trace.
    EXPECT_EQ(readAll(path_).find("ZZZZ"), std::string::npos);
}

TEST_F(TraceFile, AFailedPieceMarksTheStreamBrokenOff)
{
    Trace_StreamBegin(20480);
    Trace_Written("x", 10240, 4096, 2, "Input/output error (errno 5)");
    Trace_Close();
    const std::vector<std::string> texts = records(path_);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "piece 1: 4096 of 10240 bytes in 2 ms, 4096 of 20480 sent FAILED: Input/output error (errno 5)");
    EXPECT_EQ(texts[2].rfind("image stream broken off: 4096 of 20480 bytes in 1 pieces", 0), 0u) << texts[2];
}

TEST_F(TraceFile, ALongReadShowsItsFirstBytesAndCountsTheRest)
{
    const std::string flood(TRACE_BYTES_SHOWN + 100, 'a');
    Trace_Read(flood.data(), static_cast<int>(flood.size()), 500, "");
    const std::string text = records(path_).back();
    EXPECT_NE(text.find("\"" + std::string(TRACE_BYTES_SHOWN, 'a') + "\" and 100 more bytes"), std::string::npos);
}

// A trace of the tool's own naming never reuses a name: files already there
// keep what they hold, and the first free number before the extension is
// taken (a name without one gets the number at its end).
TEST(TraceCreateNew, PassesOverTakenNamesAndTouchesNothingThere)
{
    const std::string base = ::testing::TempDir() + "trace_new_test";
    for (const std::string &taken : {base + ".log", base + "-2.log", base})
        std::ofstream(taken) << "kept";
    std::string created, error;
    FILE *file = Trace_CreateNew(base + ".log", created, error);
    ASSERT_NE(file, nullptr) << error;
    fclose(file);
    EXPECT_EQ(created, base + "-3.log");
    EXPECT_EQ(readAll(created), "");
    EXPECT_EQ(readAll(base + ".log"), "kept");
    EXPECT_EQ(readAll(base + "-2.log"), "kept");
    std::string plain;
    file = Trace_CreateNew(base, plain, error);
    ASSERT_NE(file, nullptr) << error;
    fclose(file);
    EXPECT_EQ(plain, base + "-2");
    EXPECT_EQ(readAll(base), "kept");

    EXPECT_EQ(Trace_CreateNew(base + ".log/inside.log", created, error), nullptr);
    EXPECT_FALSE(error.empty());
    for (const std::string &name : {base + ".log", base + "-2.log", base + "-3.log", base, plain})
        std::remove(name.c_str());
}
