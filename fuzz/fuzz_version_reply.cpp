// Arbitrary bytes as the unit's version reply (up to the first NUL), read by
// parseVersionReply and by sscanf with the pattern the reader follows.
//
// The reply sits in a heap block of exactly its length plus the NUL, so any
// read past the NUL is caught. Where no run of digits is long enough to
// overflow an int, the reader must give what sscanf gives, field by field;
// wherever it gives a model word, that word is at most seven characters,
// without blanks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "VersionReply.h"

namespace {

void check(bool condition)
{
    if (!condition) abort();
}

bool hasLongDigitRun(const char *text)
{
    size_t run = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        run = *c >= '0' && *c <= '9' ? run + 1 : 0;
        if (run > 9) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    std::unique_ptr<char[]> reply(new char[length + 1]);
    memcpy(reply.get(), data, length);
    reply[length] = '\0';

    const UnitVersions read = parseVersionReply(reply.get());
    const size_t modelLength = strnlen(read.model, sizeof read.model);
    check(modelLength < sizeof read.model);
    for (size_t i = 0; i < modelLength; ++i) {
        check(read.model[i] != ' ' && (read.model[i] < '\t' || read.model[i] > '\r'));
    }
    check(read.complete == 0 || read.complete == 1);

    if (!hasLongDigitRun(reply.get())) {
        UnitVersions scanned = {0, 0, 0, "", 0, 0, -1, 0};
        const int fields = sscanf(reply.get(), "%d.%d.%d %7s %d.%d %d", &scanned.fw_ver, &scanned.fw_rev,
                                  &scanned.fw_sub, scanned.model, &scanned.fpga_ver, &scanned.fpga_rev,
                                  &scanned.fpga_type);
        check(read.complete == (fields == 7 ? 1 : 0));
        check(read.fw_ver == scanned.fw_ver && read.fw_rev == scanned.fw_rev && read.fw_sub == scanned.fw_sub);
        check(strcmp(read.model, scanned.model) == 0);
        check(read.fpga_ver == scanned.fpga_ver && read.fpga_rev == scanned.fpga_rev &&
              read.fpga_type == scanned.fpga_type);
    }
    return 0;
}
