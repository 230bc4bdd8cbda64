#include "QueriesAfterReboot.h"

#include <chrono>
#include <functional>
#include <string>

#include "ComPortAPI.h"
#include "StringOperations.h"
#include "UnitExchange.h"
#include "VersionReply.h"

// Each read lasts this long; a whole version reply is over once one such
// read stays silent.
#define AFTER_REBOOT_READ_WINDOW_MS 500
// Far more than any reply of the unit: a line that talks without end stops
// the gathering here rather than at the bound.
#define AFTER_REBOOT_REPLY_LIMIT 4096

namespace {

enum class Gathered {
    Growing,  // may still become the whole reply
    Whole,
    Never,    // can no longer become it: waiting longer changes nothing
};

// Sends the command on a line emptied of what earlier replies left, and
// gathers its reply until `judge` finds it whole (and then one quiet window
// more when `quietAfterWhole`, for a reply whose end cannot be told apart),
// until it can never be, or until the bound. The read window in force is put
// back before returning.
std::string askAndGather(const char *command, const std::function<Gathered(const std::string &)> &judge,
                         bool quietAfterWhole)
{
    const int windowInForce = ComPortAPI_ReadingTimeoutInMs();
    ComPortAPI_SetReadingTimeoutInMs(AFTER_REBOOT_READ_WINDOW_MS);
    ComPortAPI_DiscardPending();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AFTER_REBOOT_REPLY_BOUND_MS);
    std::string reply;
    if (sendCommand(command, 0, 0, nullptr)) {
        Gathered state = Gathered::Growing;
        while (std::chrono::steady_clock::now() < deadline && reply.size() < AFTER_REBOOT_REPLY_LIMIT) {
            const int nBytesRead = readIntoDataBuffer();
            if (nBytesRead == 0) {
                if (state == Gathered::Whole) {
                    break;
                }
                continue;
            }
            reply.append(gDataBuffer, static_cast<size_t>(nBytesRead));
            state = judge(reply);
            if (state == Gathered::Never || (state == Gathered::Whole && !quietAfterWhole)) {
                break;
            }
        }
    }
    ComPortAPI_SetReadingTimeoutInMs(windowInForce);
    return reply;
}

bool beginsOrEquals(const std::string &text, const char *expected)
{
    return std::string(expected).compare(0, text.size(), text) == 0;
}

}  // namespace

VersionAnswer queryUnitVersionsAfterReboot(UnitVersions *versions)
{
    // The device code is the reply's last field and may still be growing
    // when the reply first reads whole, so a quiet window follows it.
    std::string reply = askAndGather(
        "%fw -v", [](const std::string &text) {
            return parseVersionReply(text.c_str()).complete == 1 ? Gathered::Whole : Gathered::Growing;
        }, true);
    StrRemoveNL(&reply[0], ' ');
    *versions = parseVersionReply(reply.c_str());
    if (versions->complete) {
        return VersionAnswer::Whole;
    }
    return reply.empty() ? VersionAnswer::NoAnswer : VersionAnswer::Partial;
}

UnitKind identifyUnitAfterReboot(void)
{
    const std::string reply = askAndGather(
        "%fw -p",
        [](const std::string &text) {
            if (text == VALIDATE_TX_PRODUCT_ID_STRING || text == VALIDATE_RX_PRODUCT_ID_STRING) {
                return Gathered::Whole;
            }
            const bool growing = beginsOrEquals(text, VALIDATE_TX_PRODUCT_ID_STRING) ||
                                 beginsOrEquals(text, VALIDATE_RX_PRODUCT_ID_STRING);
            return growing ? Gathered::Growing : Gathered::Never;
        },
        false);
    if (reply == VALIDATE_TX_PRODUCT_ID_STRING) {
        return UnitKind::Tx;
    }
    if (reply == VALIDATE_RX_PRODUCT_ID_STRING) {
        return UnitKind::Rx;
    }
    return UnitKind::Unknown;
}
