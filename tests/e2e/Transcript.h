// The console text the update tool prints, step by step, built from the
// tool's own console texts so that a test can compare a run's whole stdout,
// every "\r", "\n" and "\b" of it, with what the run should have shown.
// Concatenate the steps in the order the run takes them.
#ifndef E2E_TRANSCRIPT_H
#define E2E_TRANSCRIPT_H

#include <string>

enum class UnitType { Tx, Rx };

// The version fields a unit reports, as the tool parses them.
struct UnitVersion {
    int fwVersion, fwRevision, fwSub;
    std::string model;
    int logicVersion, logicRevision;
    int deviceCode;
};

// What unit-sim reports: "61.1.2\r\nXC7A75 1.2 <code>\r\n>>".
UnitVersion simVersion(int deviceCode = 7);

// Start of every run, up to the dots of the discovery line.
std::string banner();
// Discovery found the unit.
std::string discovered(int com, int baud);

// Manual path: discovery failed, the port number is asked for and opened.
std::string manualPortPrompt(int typedCom);
std::string openFailed(int com);
// Standard input ended at a prompt.
std::string inputEnded();
// The port opened; the baud rate is asked for and applied.
std::string manualBaudPrompt(int typedBaud);
// A progress line completed.
std::string lineOk();

std::string versionLines(const UnitVersion &version);
std::string productCheck();
std::string identified(UnitType type);
std::string unknownProduct();
// The line that ends a failed identification or a failed stream.
std::string stepFailed();
std::string unitNotReady();

std::string logicAnnouncement();
std::string logicStreamLabel();
std::string mcuAnnouncement();
std::string mcuStreamLabel();

// The percentage display of a whole stream of `length` bytes.
std::string streamDisplay(int length);
// The display of a stream whose write failed after `written` pieces.
std::string streamDisplayCut(int length, int written);
// The pieces of a stream of `length` bytes whose percentage `out` showed
// between `beforeStream` and `end`, for a unit that stops the stream half
// way: checked to be about half the stream.
int piecesShownAboutHalfWay(const std::string &out, const std::string &beforeStream, const std::string &end,
                            int length);
// Both transfers, announcements included, ending behind the MCU stream's 100%.
std::string transfers(int logicLength, int mcuLength);
// A stream reply other than "SUCCESS", as the unit sent it.
std::string streamMismatch(const std::string &received);
// A write that the unit took nothing of for `stallLimitMs`.
std::string unitStoppedTakingData(int stallLimitMs);

// From the end of the MCU stream to the last "100%".
std::string rebootWait();
std::string successLine();
// The check of the versions after the reboot: what the unit reported
// ("61.01.02, XC7A75 1.02") and whether it is what the tool carries.
std::string versionsAfterLine(const std::string &versions, bool verified);
// --if-needed on a unit that already runs the carried versions.
std::string nothingToDo();

std::string failedVerdict();
// The end of every run.
std::string exitPrompt(const std::string &lastMessage = "");

#endif
