// The --all parent's reading of its children's output: any bytes, in pieces
// of any size, cut into lines and read as events. A line that reads as an
// event must write back as an event that reads the same, and no line may
// exceed the reader's limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ProgressEvent.h"

#define LONGEST_LINE 512

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte sets the size of the pieces the output arrives in.
    const size_t piece = data[0] % 64 + 1;
    const std::string output(reinterpret_cast<const char *>(data) + 1, size - 1);
    ProgressLineReader reader(LONGEST_LINE);
    std::vector<std::string> lines;
    for (size_t at = 0; at < output.size(); at += piece) {
        for (const std::string &line : reader.take(output.substr(at, piece))) {
            lines.push_back(line);
        }
    }
    lines.push_back(reader.rest());

    for (const std::string &line : lines) {
        if (line.size() > LONGEST_LINE || line.find('\n') != std::string::npos) {
            abort();
        }
        ProgressEvent event;
        if (!parseProgressEvent(line, event)) {
            continue;
        }
        const std::string written = formatProgressEvent(event);
        ProgressEvent again;
        if (!parseProgressEvent(written, again) || formatProgressEvent(again) != written) {
            abort();
        }
    }
    return 0;
}
