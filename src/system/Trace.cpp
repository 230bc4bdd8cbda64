#include "Trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "FileBackend.h"

namespace {

// Numbered names tried before a folder counts as one that takes no trace.
#define MOST_NUMBERED_NAMES 1000

const char kIncompleteLead[] = "WARNING: the trace \"";
const char kIncompleteMiddle[] = "\" is incomplete: ";

FILE *gTraceFile = nullptr;
std::string gTracePath;
// Why the trace stopped taking records; empty while it takes them.
std::string gIncompleteReason;
std::chrono::steady_clock::time_point gStart;
// Console text since the last line end.
std::string gConsoleLine;

struct ImageStream {
    bool active = false;
    long long total = 0;
    long long sent = 0;
    int pieces = 0;
    long long startedMs = 0;
    bool failed = false;
};
ImageStream gStream;

// The update matters more than its trace: a failed write is told once and
// ends the records, never the run.
void traceFailed(int error)
{
    if (!gIncompleteReason.empty()) {
        return;
    }
    gIncompleteReason = error != 0 ? strerror(error) : "the write failed";
    fprintf(stderr, "%s%s%s%s\n", kIncompleteLead, gTracePath.c_str(), kIncompleteMiddle, gIncompleteReason.c_str());
}

void writeRecord(const std::string &text)
{
    if (!gIncompleteReason.empty()) {
        return;
    }
    errno = 0;
    // Written through at once: the record must survive a crash that follows.
    if (fprintf(gTraceFile, "%8lld ms  %s\n", Trace_Millis(), text.c_str()) < 0 || fflush(gTraceFile) != 0) {
        traceFailed(errno);
    }
}

void flushConsoleLine(void)
{
    if (!gConsoleLine.empty()) {
        writeRecord("console \"" + Trace_Escape(gConsoleLine.data(), gConsoleLine.size()) + "\"");
        gConsoleLine.clear();
    }
}

void endStream(void)
{
    if (!gStream.active) {
        return;
    }
    gStream.active = false;
    writeRecord("image stream " + std::string(gStream.failed ? "broken off" : "done") + ": " +
                std::to_string(gStream.sent) + " of " + std::to_string(gStream.total) + " bytes in " +
                std::to_string(gStream.pieces) + " pieces, " + std::to_string(Trace_Millis() - gStream.startedMs) +
                " ms");
}

// Every record but a console line or a stream piece first closes what is
// pending, so that the trace keeps the order in which things happened.
void record(const std::string &text)
{
    flushConsoleLine();
    endStream();
    writeRecord(text);
}

std::string shownBytes(const void *bytes, int count)
{
    const int shown = count < TRACE_BYTES_SHOWN ? count : TRACE_BYTES_SHOWN;
    std::string text = "\"" + Trace_Escape(bytes, (size_t)shown) + "\"";
    if (shown < count) {
        text += " and " + std::to_string(count - shown) + " more bytes";
    }
    return text;
}

}  // namespace

bool Trace_Open(const std::string &path, std::string &error)
{
    Trace_Close();
    FILE *file = FileBackend_OpenToWrite(path.c_str());
    if (file == nullptr) {
        error = FileBackend_FailureReason();
        return false;
    }
    gTraceFile = file;
    gTracePath = path;
    gIncompleteReason.clear();
    gStart = std::chrono::steady_clock::now();
    return true;
}

void Trace_Close(void)
{
    if (gTraceFile == nullptr) {
        return;
    }
    flushConsoleLine();
    endStream();
    errno = 0;
    if (fclose(gTraceFile) != 0) {
        traceFailed(errno);
    }
    gTraceFile = nullptr;
}

bool Trace_Incomplete(std::string &reason)
{
    reason = gIncompleteReason;
    return !reason.empty();
}

bool Trace_ParseIncompleteWarning(const std::string &line, std::string &reason)
{
    const size_t middle = line.rfind(kIncompleteMiddle);
    if (line.rfind(kIncompleteLead, 0) != 0 || middle == std::string::npos) {
        return false;
    }
    reason = line.substr(middle + strlen(kIncompleteMiddle));
    return true;
}

FILE *Trace_CreateNew(const std::string &path, std::string &created, std::string &error)
{
    const size_t dot = path.find_last_of('.');
    const size_t folderEnd = path.find_last_of("/\\");
    const bool hasExtension = dot != std::string::npos && (folderEnd == std::string::npos || dot > folderEnd);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : "";
    for (int number = 1; number <= MOST_NUMBERED_NAMES; ++number) {
        const std::string name = number == 1 ? path : stem + "-" + std::to_string(number) + extension;
        bool nameTaken = false;
        FILE *file = FileBackend_CreateNew(name.c_str(), nameTaken);
        if (file != nullptr) {
            created = name;
            return file;
        }
        if (!nameTaken) {
            break;
        }
    }
    error = FileBackend_FailureReason();
    return nullptr;
}

bool Trace_IsOn(void)
{
    return gTraceFile != nullptr;
}

long long Trace_Millis(void)
{
    if (gTraceFile == nullptr) {
        return 0;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gStart).count();
}

void Trace_Note(const std::string &text)
{
    if (gTraceFile != nullptr) {
        record(text);
    }
}

std::string Trace_Escape(const void *bytes, size_t count)
{
    const unsigned char *data = static_cast<const unsigned char *>(bytes);
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char c = data[i];
        switch (c) {
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        case '\t': text += "\\t"; break;
        case '\b': text += "\\b"; break;
        case '"': text += "\\\""; break;
        case '\\': text += "\\\\"; break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                text += (char)c;
            } else {
                char hex[5];
                snprintf(hex, sizeof hex, "\\x%02x", c);
                text += hex;
            }
        }
    }
    return text;
}

void Trace_Console(const char *text, size_t length)
{
    if (gTraceFile == nullptr) {
        return;
    }
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            // An empty line is a record too: the console shows it.
            writeRecord("console \"" + Trace_Escape(gConsoleLine.data(), gConsoleLine.size()) + "\"");
            gConsoleLine.clear();
        } else {
            gConsoleLine += text[i];
        }
    }
}

void Trace_StreamBegin(long long totalBytes)
{
    if (gTraceFile == nullptr) {
        return;
    }
    record("image stream of " + std::to_string(totalBytes) + " bytes");
    gStream = ImageStream();
    gStream.active = true;
    gStream.total = totalBytes;
    gStream.startedMs = Trace_Millis();
}

void Trace_Written(const void *bytes, int requested, int written, long long ms, const std::string &error)
{
    if (gTraceFile == nullptr) {
        return;
    }
    const std::string failure = error.empty() ? "" : " FAILED: " + error;
    if (gStream.active) {
        gStream.sent += written;
        ++gStream.pieces;
        gStream.failed = gStream.failed || !error.empty();
        writeRecord("piece " + std::to_string(gStream.pieces) + ": " + std::to_string(written) + " of " +
                    std::to_string(requested) + " bytes in " + std::to_string(ms) + " ms, " +
                    std::to_string(gStream.sent) + " of " + std::to_string(gStream.total) + " sent" + failure);
        return;
    }
    record("write " + std::to_string(written) + " of " + std::to_string(requested) + " bytes in " +
           std::to_string(ms) + " ms: " + shownBytes(bytes, written) + failure);
}

void Trace_Read(const void *bytes, int count, long long ms, const std::string &error)
{
    if (gTraceFile == nullptr) {
        return;
    }
    const std::string failure = error.empty() ? "" : " FAILED: " + error;
    if (count == 0) {
        record("read nothing in " + std::to_string(ms) + " ms" + failure);
        return;
    }
    record("read " + std::to_string(count) + " bytes in " + std::to_string(ms) + " ms: " + shownBytes(bytes, count) +
           failure);
}
