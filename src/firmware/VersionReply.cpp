#include "VersionReply.h"

#include <climits>
#include <cstddef>

namespace {

// Each reader skips the white space before its field and leaves the cursor
// behind what it took; false when the field is not there or its number is
// out of range.
class VersionReplyReader {
public:
    explicit VersionReplyReader(const char *text) : at_(text) {}

    bool number(int *value)
    {
        skipSpace();
        const char *p = at_;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') {
            ++p;
        }
        if (!isDigit(*p)) {
            return false;
        }
        // Gathered as a negative number, which reaches INT_MIN as well.
        long long magnitude = 0;
        for (; isDigit(*p); ++p) {
            magnitude = magnitude * 10 + (*p - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1) {
                return false;
            }
        }
        if (!negative && magnitude > INT_MAX) {
            return false;
        }
        *value = static_cast<int>(negative ? -magnitude : magnitude);
        at_ = p;
        return true;
    }

    bool literal(char expected)
    {
        if (*at_ != expected) {
            return false;
        }
        ++at_;
        return true;
    }

    // At most `size` - 1 characters up to the next white space.
    template <size_t size>
    bool word(char (&out)[size])
    {
        skipSpace();
        size_t length = 0;
        while (length + 1 < size && at_[length] != '\0' && !isSpace(at_[length])) {
            out[length] = at_[length];
            ++length;
        }
        out[length] = '\0';
        at_ += length;
        return length > 0;
    }

private:
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    void skipSpace()
    {
        while (isSpace(*at_)) {
            ++at_;
        }
    }

    const char *at_;
};

}  // namespace

UnitVersions parseVersionReply(const char *text)
{
    UnitVersions versions = {0, 0, 0, "", 0, 0, -1, 0};
    VersionReplyReader reply(text);
    versions.complete = reply.number(&versions.fw_ver) && reply.literal('.') && reply.number(&versions.fw_rev) &&
                        reply.literal('.') && reply.number(&versions.fw_sub) && reply.word(versions.model) &&
                        reply.number(&versions.fpga_ver) && reply.literal('.') &&
                        reply.number(&versions.fpga_rev) && reply.number(&versions.fpga_type);
    return versions;
}
