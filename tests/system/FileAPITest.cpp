#include "FileAPI.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

namespace {

const char NOT_OPENED_LINE[] = "ERROR: File does not exists or Not opened !\n";
const char OPEN_FAILED_LINE[] = "ERROR: File does not exists\n";

std::string contentOf(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void putFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// What the C library itself writes for `text` through a stream opened in `mode`.
std::string writtenThroughMode(const std::string &path, const char *mode, const std::string &text)
{
    FILE *stream = fopen(path.c_str(), mode);
    fwrite(text.data(), 1, text.size(), stream);
    fclose(stream);
    return contentOf(path);
}

class FileApi : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (fptr != nullptr) {
            fclose(fptr);
            fptr = nullptr;
        }
    }

    TempDir dir;
};

TEST_F(FileApi, WritesAndCloseBeforeAnyOpenReportNotOpened)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_writeToFile("text"), 0);
    EXPECT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("ab"), 2), 0);
    EXPECT_EQ(FileAPI_CloseFile(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(NOT_OPENED_LINE) + NOT_OPENED_LINE + NOT_OPENED_LINE);
    EXPECT_TRUE(dir.isEmpty());
}

TEST_F(FileApi, FailedOpensReportOnceThenEveryUseReportsNotOpened)
{
    const std::string missingDir = dir.file("missing") + "/x.bin";
    for (int mode : {0, 1, 2}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(FileAPI_CreateFile(missingDir.c_str(), mode), 0);
        EXPECT_EQ(fptr, nullptr);
        EXPECT_EQ(FileAPI_OpenFile_ToWrite(missingDir.c_str(), mode), 0);
        EXPECT_EQ(fptr, nullptr);
        EXPECT_EQ(FileAPI_OpenFile_ToRead(dir.file("absent.txt").c_str(), mode), 0);
        EXPECT_EQ(fptr, nullptr);
        EXPECT_EQ(FileAPI_writeToFile("text"), 0);
        EXPECT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("ab"), 2), 0);
        EXPECT_EQ(FileAPI_CloseFile(), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(OPEN_FAILED_LINE) + OPEN_FAILED_LINE +
                                                              OPEN_FAILED_LINE + NOT_OPENED_LINE + NOT_OPENED_LINE +
                                                              NOT_OPENED_LINE)
            << "isBinary " << mode;
    }
    EXPECT_TRUE(dir.isEmpty());
}

TEST_F(FileApi, CloseClearsTheStream)
{
    ASSERT_EQ(FileAPI_CreateFile(dir.file("a.bin").c_str(), 1), 1);
    EXPECT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(fptr, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_writeToFile("late"), 0);
    EXPECT_EQ(FileAPI_CloseFile(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(NOT_OPENED_LINE) + NOT_OPENED_LINE);
    EXPECT_EQ(contentOf(dir.file("a.bin")), "");
}

TEST_F(FileApi, CreateCutsAnExistingFile)
{
    const std::string path = dir.file("package.bin");
    putFile(path, "old content that is longer");
    ASSERT_EQ(FileAPI_CreateFile(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFile("new"), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "new");

    ASSERT_EQ(FileAPI_CreateFile(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "");
}

TEST_F(FileApi, AppendCreatesAMissingFileAndKeepsAnExistingOne)
{
    const std::string path = dir.file("log.txt");
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFile("first"), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "first");

    ASSERT_EQ(FileAPI_OpenFile_ToWrite(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("+second"), 7), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "first+second");
}

// The package is written as a created header, then an appended body.
TEST_F(FileApi, HeaderThenAppendedBodyInBinaryMode)
{
    const std::string path = dir.file("FwToUpload.bin");
    const std::string body("\r\n\0\xff%d%s\n", 9);
    ASSERT_EQ(FileAPI_CreateFile(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFile("HDR 100% %s\r\n"), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>(body.data()), 9), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "HDR 100% %s\r\n" + body);
}

TEST_F(FileApi, ZeroLengthBinaryWriteWritesNothing)
{
    const std::string path = dir.file("empty.bin");
    ASSERT_EQ(FileAPI_CreateFile(path.c_str(), 1), 1);
    EXPECT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("x"), 0), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), "");
}

// Only isBinary == 1 selects binary mode: every other value writes what a
// text-mode stream writes (on POSIX both modes write the same bytes; on
// Windows text mode turns LF into CR LF).
TEST_F(FileApi, OnlyOneSelectsBinaryMode)
{
    const std::string text = "line one\nline two\r\n";
    const std::string asText = writtenThroughMode(dir.file("reference.txt"), "w", text);
    const std::string asBinary = writtenThroughMode(dir.file("reference.bin"), "wb", text);
    ASSERT_EQ(asBinary, text);

    for (BOOL mode : {0, 2, -1, 3}) {
        const std::string path = dir.file("text" + std::to_string(mode));
        ASSERT_EQ(FileAPI_CreateFile(path.c_str(), mode), 1);
        ASSERT_EQ(FileAPI_writeToFile("line one\n"), 1);
        ASSERT_EQ(FileAPI_CloseFile(), 1);
        ASSERT_EQ(FileAPI_OpenFile_ToWrite(path.c_str(), mode), 1);
        ASSERT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("line two\r\n"), 10), 1);
        ASSERT_EQ(FileAPI_CloseFile(), 1);
        EXPECT_EQ(contentOf(path), asText) << "isBinary " << mode;
    }

    const std::string path = dir.file("binary");
    ASSERT_EQ(FileAPI_CreateFile(path.c_str(), 1), 1);
    ASSERT_EQ(FileAPI_writeToFile(text.c_str()), 1);
    ASSERT_EQ(FileAPI_CloseFile(), 1);
    EXPECT_EQ(contentOf(path), asBinary);
}

TEST_F(FileApi, OpenToReadNeedsAnExistingFile)
{
    const std::string path = dir.file("in.txt");
    putFile(path, "abc\n");
    for (BOOL mode : {1, 2}) {
        ASSERT_EQ(FileAPI_OpenFile_ToRead(path.c_str(), mode), 1);
        char line[8] = {};
        ASSERT_NE(fgets(line, sizeof line, fptr), nullptr);
        EXPECT_STREQ(line, "abc\n");
        ASSERT_EQ(FileAPI_CloseFile(), 1);
    }
    EXPECT_EQ(contentOf(path), "abc\n");
}

// The web package is written this way: the old file stays whole until the
// new one is complete, and nothing of the writer's own is left behind.
TEST_F(FileApi, ReplacementTakesTheNameOnlyWhenCommitted)
{
    const std::string path = dir.file("FwToUpload.bin");
    putFile(path, "old package");
    ASSERT_EQ(FileAPI_CreateReplacement(path.c_str()), 1);
    ASSERT_EQ(FileAPI_writeToFileBinary(reinterpret_cast<const uint8_t *>("new "), 4), 1);
    ASSERT_EQ(FileAPI_writeToFile("package\r\n"), 1);
    EXPECT_EQ(contentOf(path), "old package");
    EXPECT_EQ(FileAPI_CommitReplacement(), 1);
    EXPECT_EQ(fptr, nullptr);
    EXPECT_EQ(contentOf(path), "new package\r\n");
    EXPECT_EQ(dir.entryCount(), 1u);

    ASSERT_EQ(FileAPI_CreateReplacement(path.c_str()), 1);
    ASSERT_EQ(FileAPI_writeToFile("abandoned"), 1);
    FileAPI_DiscardReplacement();
    EXPECT_EQ(fptr, nullptr);
    EXPECT_EQ(contentOf(path), "new package\r\n");
    EXPECT_EQ(dir.entryCount(), 1u);

    // A new file, not a cut old one: a replacement of a missing file works too.
    const std::string fresh = dir.file("fresh.bin");
    ASSERT_EQ(FileAPI_CreateReplacement(fresh.c_str()), 1);
    ASSERT_EQ(FileAPI_CommitReplacement(), 1);
    EXPECT_EQ(contentOf(fresh), "");
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST_F(FileApi, ReplacementThatCannotBeCreatedSaysWhy)
{
    const std::string path = dir.file("missing") + "/x.bin";
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_CreateReplacement(path.c_str()), 0);
    EXPECT_EQ(fptr, nullptr);
    EXPECT_EQ(FileAPI_CommitReplacement(), 0);
    FileAPI_DiscardReplacement();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: Creating a new " + path + " failed: " + strerror(ENOENT) + "\n" + NOT_OPENED_LINE);
    EXPECT_TRUE(dir.isEmpty());
}

}  // namespace
