#include "e2e/Transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

const char TX_ID[] = "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>";
const char RX_ID[] = "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>";
const int PIECE = 10240;
const int REBOOT_STEPS = 46;

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char *pattern, ...)
{
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// "1%" at the start; each piece erases the shown value (two backspaces for
// one digit, three for two) and shows the share written so far, the last
// piece "100%". A failed write leaves the display as it stands: `written`
// pieces got out before it, or -1 for a stream that got out whole.
std::string display(int length, int written)
{
    std::string text = "1%";
    int sent = 0;
    int shown = 0;
    for (int piece = 0; sent < length && piece != written; ++piece) {
        text += shown <= 9 ? "\b\b" : "\b\b\b";
        if (length - sent > PIECE) {
            sent += PIECE;
            shown = static_cast<int>(static_cast<long long>(sent) * 100 / length);
            text += format("%d%%", shown);
        } else {
            sent = length;
            text += "100%";
        }
    }
    return text;
}

}  // namespace

UnitVersion simVersion(int deviceCode) { return {61, 1, 2, "XC7A75", 1, 2, deviceCode}; }

std::string banner()
{
    return "\n\rYou are about to upload the firmware version 1.0.2"
           "\n\r\n\rDetecting COM port and Baud Rate..................";
}

std::string discovered(int com, int baud)
{
    return "OK\r\n" + format("COM PORT Number : %d", com) + format("\r\nBaud rate       : %d \r\n\r\n", baud);
}

std::string manualPortPrompt(int typedCom)
{
    return "FAILED\n\r\n\rEnter the COM port number : " + format("\r\nOpening COM%d....................", typedCom);
}

std::string openFailed(int com) { return format("ERROR: Opening COM%d failed !", com); }

std::string inputEnded() { return "\r\nERROR: no answer, the input has ended !"; }

std::string manualBaudPrompt(int typedBaud)
{
    return "OK\r\n\n\r\n\rEnter the BAUD RATE       : " + format("\r\nSetting baud rate at %d..........", typedBaud);
}

std::string lineOk() { return "OK\r\n"; }

std::string versionLines(const UnitVersion &v)
{
    return format("Checking firmware version ..............  %d.%02d.%02d \r\n", v.fwVersion, v.fwRevision, v.fwSub) +
           format("Checking fpga version ..................  %s %d.%02d  device:%d\r\n", v.model.c_str(),
                  v.logicVersion, v.logicRevision, v.deviceCode);
}

std::string productCheck() { return "Checking product .......... "; }

std::string identified(UnitType type)
{
    return type == UnitType::Tx ? std::string("TX OK\r\n") + TX_ID + "\r\n" : std::string("RX OK\r\n") + RX_ID + "\r\n";
}

std::string unknownProduct() { return "FAILED, Unknown product\r\n"; }
std::string stepFailed() { return "FAILED\r\n"; }
std::string unitNotReady() { return "FAILED [Unit not ready]\r\n"; }

std::string logicAnnouncement() { return "Preparing to Upload Programmable Logic ............ "; }
std::string logicStreamLabel() { return "Sending Programmable Logic data ................... "; }
std::string mcuAnnouncement() { return "Preparing to Upload Firmware ...................... "; }
std::string mcuStreamLabel() { return "Sending data ...................................... "; }

std::string streamDisplay(int length) { return display(length, -1); }
std::string streamDisplayCut(int length, int written) { return display(length, written); }

int piecesShownAboutHalfWay(const std::string &out, const std::string &beforeStream, const std::string &end,
                            int length)
{
    const std::string shown = out.substr(0, out.find(end, beforeStream.size()));
    const int written =
        static_cast<int>(std::count(shown.begin() + std::min(beforeStream.size(), shown.size()), shown.end(), '%')) - 1;
    const int half = length / 2 / 10240;
    EXPECT_GE(written, half);
    EXPECT_LE(written, half + 8);
    return written;
}

std::string transfers(int logicLength, int mcuLength)
{
    return logicAnnouncement() + lineOk() + logicStreamLabel() + streamDisplay(logicLength) + lineOk() +
           mcuAnnouncement() + lineOk() + mcuStreamLabel() + streamDisplay(mcuLength);
}

std::string streamMismatch(const std::string &received)
{
    return "\r\nExpected : SUCCESS  received : " + received + "\r\n" +
           "\r\nError: Expected response did  not matched !\r\n";
}

std::string unitStoppedTakingData(int stallLimitMs)
{
    return format("\r\nERROR: The unit stopped taking data: nothing was accepted for %d s !\r\n", stallLimitMs / 1000);
}

std::string rebootWait()
{
    std::string text = " OK\n\r\n\rPlease wait while the unit is rebooting ........... ";
    for (int i = 0; i < REBOOT_STEPS; ++i)
        text += format("%3d%%", i * 100 / REBOOT_STEPS) + "\b\b\b\b";
    return text + format("%3d%%", 100) + "\b\b\b\b" + "100%";
}

std::string successLine() { return "\n\r\n\rThe update was successful, the unit is now operational\r\n"; }

std::string versionsAfterLine(const std::string &versions, bool verified)
{
    return "\n\r\n\rChecking the versions after the update ......  " + versions + (verified ? "  OK\r\n" : "  FAILED\r\n");
}

std::string nothingToDo()
{
    return "\r\nNothing to do: the unit already runs the carried versions 61.01.02, XC7A75 1.02.\r\n";
}

std::string failedVerdict() { return "\n\rERROR: The update was not successful.\r\n"; }

std::string exitPrompt(const std::string &lastMessage) { return lastMessage + "\r\nPress any key to exit"; }
