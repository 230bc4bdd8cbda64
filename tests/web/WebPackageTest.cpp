// The web update package, read back the way a web page would: header lines,
// body lines joined and decoded by coreutils' base64, compared with the image.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "RavelinFwUpgrade.h"
#include "WebPackageMode.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary) << content;
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string hexRecord(uint8_t type, uint16_t address, const uint8_t *data, size_t count)
{
    char field[16];
    uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
    std::string line = ":";
    snprintf(field, sizeof field, "%02X%04X%02X", static_cast<unsigned>(count), address, type);
    line += field;
    for (size_t i = 0; i < count; ++i) {
        snprintf(field, sizeof field, "%02X", data[i]);
        line += field;
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    snprintf(field, sizeof field, "%02X\r\n", static_cast<uint8_t>(0x100 - sum));
    return line + field;
}

// An Intel HEX text whose image is exactly `image`, from offset 0.
std::string hexTextOf(const Bytes &image)
{
    std::string text;
    for (size_t offset = 0; offset < image.size(); offset += 16) {
        if (offset % 0x10000 == 0) {
            const uint8_t upper[2] = {0, static_cast<uint8_t>(offset >> 16)};
            text += hexRecord(4, 0, upper, 2);
        }
        const size_t count = image.size() - offset < 16 ? image.size() - offset : 16;
        text += hexRecord(0, static_cast<uint16_t>(offset & 0xFFFF), image.data() + offset, count);
    }
    return text + ":00000001FF\r\n";
}

Bytes patternImage(size_t length)
{
    Bytes image(length);
    uint32_t state = 0x2545F491u;
    for (auto &byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

struct Package {
    std::vector<std::string> header;  // the five header lines
    std::vector<std::string> body;    // the body lines, without line ends
    bool bodyEndsWithLineEnd = false;
};

Package parsePackage(const std::string &file)
{
    Package package;
    size_t position = 0;
    for (int line = 0; line < 5; ++line) {
        const size_t end = file.find("\r\n", position);
        if (end == std::string::npos) {
            ADD_FAILURE() << "header line " << line << " has no CR LF";
            return package;
        }
        package.header.push_back(file.substr(position, end - position));
        position = end + 2;
    }
    const std::string body = file.substr(position);
    size_t start = 0;
    while (start < body.size()) {
        const size_t end = body.find("\r\n", start);
        if (end == std::string::npos) {
            package.body.push_back(body.substr(start));
            break;
        }
        package.body.push_back(body.substr(start, end - start));
        start = end + 2;
        package.bodyEndsWithLineEnd = start == body.size();
    }
    return package;
}

Bytes decodeWithCoreutils(const std::string &dir, const std::string &base64Text)
{
    writeFile(dir + "/body.b64", base64Text);
    const std::string command = "base64 -d '" + dir + "/body.b64' > '" + dir + "/body.bin'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::string decoded = readFile(dir + "/body.bin");
    return Bytes(decoded.begin(), decoded.end());
}

uint32_t independentCheckSum(const Bytes &image)
{
    uint64_t sum = 0;
    for (uint8_t byte : image) {
        sum += byte;
    }
    return static_cast<uint32_t>((0x100000000ull - (sum & 0xFFFFFFFFull)) & 0xFFFFFFFFull);
}

class WebPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The writer waits for a key at the end; with no terminal that returns at once.
        ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
    }

    void SetUp() override
    {
        char pattern[] = "/tmp/web-package-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(previousDir_, sizeof previousDir_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        ASSERT_TRUE(allocateSessionBuffers());
    }

    void TearDown() override
    {
        releaseSessionBuffers();
        EXPECT_EQ(chdir(previousDir_), 0);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    // Replaces the MCU text with `text` and runs the writer, capturing the console.
    BOOL writePackageFrom(const std::string &text, std::string *console = nullptr)
    {
        free(gHexFirmware);
        gHexFirmware = static_cast<char *>(calloc(text.size() + 16, 1));
        memcpy(gHexFirmware, text.data(), text.size());
        testing::internal::CaptureStdout();
        const BOOL result = createFirmwareFileForWeb();
        const std::string output = testing::internal::GetCapturedStdout();
        if (console != nullptr) {
            *console = output;
        }
        return result;
    }

    std::string packagePath() const { return dir_ + "/" FIRMWARE_FILE_NAME_FOR_WEB; }

    // Checks everything a reader relies on and returns the decoded body.
    Bytes checkPackageOf(const Bytes &image)
    {
        const std::string file = readFile(packagePath());
        const Package package = parsePackage(file);
        EXPECT_EQ(file.find('\0'), std::string::npos);
        EXPECT_EQ(package.header.size(), 5u);
        if (package.header.size() != 5) {
            return {};
        }
        EXPECT_EQ(package.header[0], "KorVan");
        EXPECT_EQ(package.header[1], "418260");
        EXPECT_EQ(package.header[2], "1.0.2");
        EXPECT_EQ(package.header[3], std::to_string(independentCheckSum(image)));
        EXPECT_EQ(package.header[4], std::to_string(image.size()));
        EXPECT_FALSE(package.bodyEndsWithLineEnd);

        std::string joined;
        for (size_t i = 0; i < package.body.size(); ++i) {
            if (i + 1 < package.body.size()) {
                EXPECT_EQ(package.body[i].size(), 928u) << "body line " << i;
            } else {
                EXPECT_GE(package.body[i].size(), 1u);
                EXPECT_LE(package.body[i].size(), 928u);
            }
            joined += package.body[i];
        }
        EXPECT_EQ(joined.find('='), std::string::npos);
        EXPECT_EQ(joined.size(), 4 * ((image.size() + 2) / 3));

        const Bytes decoded = joined.empty() ? Bytes() : decodeWithCoreutils(dir_, joined);
        Bytes expected = image;
        expected.resize(3 * ((image.size() + 2) / 3), 0);
        EXPECT_EQ(decoded, expected);
        return decoded;
    }

    std::string dir_;
    char previousDir_[4096];
};

TEST_F(WebPackage, EmbeddedMcuImageReadsBackThroughAStandardDecoder)
{
    char *fresh = newCatalogueTextCopy(CATALOGUE_MCU_FIRMWARE);
    ASSERT_NE(fresh, nullptr);
    ASSERT_TRUE(ValidateFwAndConcatenateData(fresh));
    free(fresh);
    const Bytes image(gDataConcatenated, gDataConcatenated + gDataConcatenatedLenght);
    ASSERT_GT(image.size(), 0x8000u);

    std::string console;
    char *text = newCatalogueTextCopy(CATALOGUE_MCU_FIRMWARE);
    const std::string hexText(text);
    free(text);
    ASSERT_TRUE(writePackageFrom(hexText, &console));
    checkPackageOf(image);

    const std::string sum = std::to_string(independentCheckSum(image));
    EXPECT_EQ(console, "\r\n Firmware data is valid !\r\n"
                       "\r\n Firmware CheckSum = " + sum + " !\r\n"
                       "\r\n Firmware CheckSum u = " + sum + " !\r\n"
                       "\r\n Firmware data length = " + std::to_string(image.size()) + " !\r\n"
                       "\r\nPress any key to exit");
}

TEST_F(WebPackage, BodyLinesAreCutAt928Characters)
{
    for (size_t length : {696u, 697u, 460797u}) {
        SCOPED_TRACE(length);
        const Bytes image = patternImage(length);
        ASSERT_TRUE(writePackageFrom(hexTextOf(image)));
        checkPackageOf(image);
        const Package package = parsePackage(readFile(packagePath()));
        if (length == 696) {
            ASSERT_EQ(package.body.size(), 1u);
            EXPECT_EQ(package.body[0].size(), 928u);
        } else if (length == 697) {
            ASSERT_EQ(package.body.size(), 2u);
            EXPECT_EQ(package.body[1].size(), 4u);
        } else {
            ASSERT_EQ(package.body.size(), 663u);
            EXPECT_EQ(package.body.back().size(), 60u);
        }
    }
}

TEST_F(WebPackage, PaddingIsWrittenAsA)
{
    const struct {
        size_t length;
        const char *ending;
    } cases[] = {{300, ""}, {301, "AA"}, {302, "A"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        Bytes image = patternImage(c.length);
        image.back() = 0xFF;  // its last Base64 character is then never 'A' by chance
        ASSERT_TRUE(writePackageFrom(hexTextOf(image)));
        checkPackageOf(image);
        const std::string body = parsePackage(readFile(packagePath())).body.back();
        const std::string ending = c.ending;
        EXPECT_EQ(body.substr(body.size() - ending.size() - 1, 1).find('A'), std::string::npos);
        EXPECT_EQ(body.substr(body.size() - ending.size()), ending);
    }
}

TEST_F(WebPackage, EmptyImageGivesHeaderOnly)
{
    ASSERT_TRUE(writePackageFrom(":00000001FF\r\n"));
    EXPECT_EQ(readFile(packagePath()), "KorVan\r\n418260\r\n1.0.2\r\n0\r\n0\r\n");
}

TEST_F(WebPackage, ImageTooLargeToEncodeWritesNothing)
{
    std::string console;
    EXPECT_FALSE(writePackageFrom(hexTextOf(patternImage(460798)), &console));
    EXPECT_NE(console.find("\r\n ERROR BASE 64 !\r\n"), std::string::npos);
    EXPECT_FALSE(fileExists(packagePath()));

    writeFile(packagePath(), "previous package");
    EXPECT_FALSE(writePackageFrom(hexTextOf(patternImage(460798))));
    EXPECT_EQ(readFile(packagePath()), "previous package");
}

TEST_F(WebPackage, InvalidTextKeepsTheExistingPackage)
{
    writeFile(packagePath(), "previous package");
    std::string console;
    EXPECT_FALSE(writePackageFrom(":0400100001020304E3\r\n", &console));
    EXPECT_EQ(readFile(packagePath()), "previous package");
    EXPECT_EQ(console, "\r\n intel_hex_line_is_valid \r\n:0400100001020304E3\r\n"
                       "\r\nERROR: Firmware data is not valid !\r\n");
}

// The tool in `dir`, its output in stdout.txt and stderr.txt; killed after 20 s.
int runTool(const std::string &dir, const std::string &arguments, std::string *errors = nullptr)
{
    const std::string command = "cd '" + dir + "' && timeout -s KILL 20 '" RAVELIN_TOOL_PATH "' " + arguments +
                                " </dev/null >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    if (errors != nullptr) {
        *errors = readFile(dir + "/stderr.txt");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(WebPackage, ToolWritesTheSamePackageOnEveryRun)
{
    ASSERT_EQ(runTool(dir_, "--web-package"), 0);
    const std::string first = readFile(packagePath());
    ASSERT_EQ(runTool(dir_, "--web-package"), 0);
    EXPECT_EQ(readFile(packagePath()), first);
    EXPECT_GT(first.size(), 100000u);
}

TEST_F(WebPackage, ToolRefusesUnknownArguments)
{
    std::string errors;
    EXPECT_NE(runTool(dir_, "--package", &errors), 0);
    EXPECT_NE(errors.find("unknown option \"--package\"\nTry 'RavelinFwUpgrade --help' for more information.\n"),
              std::string::npos)
        << errors;
    EXPECT_FALSE(fileExists(packagePath()));
}

// The folder's entries, sorted, without "." and "..".
std::string listing(const std::string &dir)
{
    const std::string command = "ls -A '" + dir + "' > '" + dir + "/../listing.txt'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return readFile(dir + "/../listing.txt");
}

bool isRegularFile(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A FIFO of that name would block an open for writing for ever, and a link
// would lead the write to its target: the package takes the name instead.
TEST_F(WebPackage, FifoOrLinkNamedLikeThePackageIsReplacedNotOpened)
{
    const std::string reference = dir_ + "/reference";
    ASSERT_EQ(mkdir(reference.c_str(), 0755), 0);
    ASSERT_EQ(runTool(reference, "--web-package"), 0);
    const std::string package = readFile(reference + "/" FIRMWARE_FILE_NAME_FOR_WEB);

    ASSERT_EQ(mkfifo(packagePath().c_str(), 0644), 0);
    EXPECT_EQ(runTool(dir_, "--web-package"), 0);
    ASSERT_TRUE(isRegularFile(packagePath()));
    EXPECT_TRUE(readFile(packagePath()) == package);

    ASSERT_EQ(unlink(packagePath().c_str()), 0);
    writeFile(dir_ + "/elsewhere.bin", "not the package");
    ASSERT_EQ(symlink("elsewhere.bin", packagePath().c_str()), 0);
    EXPECT_EQ(runTool(dir_, "--web-package"), 0);
    ASSERT_TRUE(isRegularFile(packagePath()));
    EXPECT_TRUE(readFile(packagePath()) == package);
    EXPECT_EQ(readFile(dir_ + "/elsewhere.bin"), "not the package");
    EXPECT_EQ(listing(dir_), std::string(FIRMWARE_FILE_NAME_FOR_WEB) + "\nelsewhere.bin\nreference\nstderr.txt\n"
                                                                        "stdout.txt\n")
        << "no file of the writer's own is left behind";
}

// A filesystem with room for 64 KiB, less than the package. It is mounted in
// a mount namespace of its own, so that nothing of it outlives the test.
TEST_F(WebPackage, FullDiskKeepsThePreviousPackageAndSaysWhy)
{
    if (std::system("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "no mount namespace here (unshare -m fails): needs root";
    }
    const std::string full = dir_ + "/full";
    ASSERT_EQ(mkdir(full.c_str(), 0755), 0);
    const std::string script = "set -e\n"
                               "mount -t tmpfs -o size=64k tmpfs full\n"
                               "printf 'previous package' > full/" FIRMWARE_FILE_NAME_FOR_WEB "\n"
                               "set +e\n"
                               "(cd full && timeout -s KILL 20 '" RAVELIN_TOOL_PATH "' --web-package)"
                               " </dev/null >stdout.txt 2>stderr.txt\n"
                               "echo $? > status.txt\n"
                               "ls -A full > listing.txt\n"
                               "cat full/" FIRMWARE_FILE_NAME_FOR_WEB " > kept.txt\n";
    writeFile(dir_ + "/full.sh", script);
    ASSERT_EQ(std::system(("cd '" + dir_ + "' && unshare -m sh full.sh").c_str()), 0);

    EXPECT_EQ(readFile(dir_ + "/status.txt"), "1\n");
    EXPECT_EQ(readFile(dir_ + "/kept.txt"), "previous package");
    EXPECT_EQ(readFile(dir_ + "/listing.txt"), FIRMWARE_FILE_NAME_FOR_WEB "\n");
    const std::string console = readFile(dir_ + "/stdout.txt");
    EXPECT_NE(console.find("ERROR: Writing " FIRMWARE_FILE_NAME_FOR_WEB " failed: No space left on device\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("\r\nERROR: The web package was not written"), std::string::npos) << console;
    EXPECT_EQ(readFile(dir_ + "/stderr.txt"), "");
}

}  // namespace
