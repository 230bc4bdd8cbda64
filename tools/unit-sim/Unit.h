// The simulated unit's command interpreter and firmware loader, without any
// I/O: bytes go in with the line rate they arrived at, timed transmissions
// come out with the rate they are sent at. The event loop (Simulator) moves
// the bytes and keeps the clock.
//
// The unit listens at its own rate. A chunk that arrives at another rate is
// garbage to it, except at 115200 baud, the rate of the image streams and of
// the firmware announcement. Commands are lines "%%" + command, ended by LF,
// CR or either pair; lines without that prefix are ignored, so whatever the
// line echoes back never reads as a command.
//
//   "%help -c version"   its help text            (own rate)
//   "%fw -v"             the version text          (own rate)
//   "%fw -p"             the identification text   (own rate)
//   "%fw -l <sum> <len>" "Ready", then <len> raw bytes of the logic image
//                        at 115200, then "SUCCESS" or "ERROR: ..." (own rate)
//   "%fw -h <sum> <len>" the same for the MCU image  (115200)
//
// After a logic and then an MCU image have both been taken, the unit reboots:
// it ignores the line for the boot time, then sends its prompt at its own rate
// and from then on reports the versions after the update.
#ifndef UNIT_SIM_UNIT_H
#define UNIT_SIM_UNIT_H

#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>

using Clock = std::chrono::steady_clock;

enum class Fault {
    Silent,
    ShortVersion,
    UnknownId,
    NotReady,
    BadStreamReply,
    HangupMidStream,
    Flood,
    NoPrompt,
    BadPrompt,
    SecondTry,
    SplitReply,
    TrailingCrlf,
    NulInReply,
    Drip,
    StopReadingMidStream,
    EscapeStreamReply,
    KeepVersions,
    FailFirstStream,
    Count
};

struct UnitConfig {
    bool rx = false;
    int baud = 115200;
    long long deviceCode = 7;           // wider than the tool's int, to send one past it
    std::string model = "XC7A75";       // the model word of the version reply
    std::string mcuVersion = "61.1.2";   // first line of the version reply
    std::string logicVersion = "1.2";    // after the model word
    // What the version reply says once a complete update has rebooted the
    // unit (unless the keep-versions fault keeps the versions above).
    std::string mcuVersionAfter = "61.1.2";
    std::string logicVersionAfter = "1.2";
    int bootMs = 145000;
    // How the unit behaves once a complete update has rebooted it, beside
    // the versions above: each reply to a command sent this much later; no
    // reply at all (it still sends its prompt); another device code or
    // model word in its version reply.
    int replyDelayAfterRebootMs = 0;
    bool silentAfterReboot = false;
    std::optional<long long> deviceCodeAfter;
    std::optional<std::string> modelAfter;
    std::bitset<static_cast<std::size_t>(Fault::Count)> faults;

    bool has(Fault f) const { return faults.test(static_cast<std::size_t>(f)); }
};

enum class Image { Logic, Mcu };

// Bytes the unit sends, not before `due`, at `rate` baud.
struct Transmission {
    std::string bytes;
    int rate;
    Clock::time_point due;
};

class Unit {
public:
    static constexpr int STREAM_RATE = 115200;
    // The largest image the unit takes: the tool's whole image area.
    static constexpr long MAX_IMAGE_LENGTH = 4L * 1024 * 1024;
    // A stream that stops for this long is abandoned, so that the unit is
    // usable again after a tool that died in the middle of one.
    static constexpr std::chrono::milliseconds STREAM_IDLE_LIMIT{5000};
    static constexpr std::chrono::milliseconds SPLIT_GAP{100};
    static constexpr std::size_t MAX_LINE = 256;

    // Called with each image when its last byte has arrived.
    using ImageSink = std::function<void(Image, const std::string &)>;

    Unit(const UnitConfig &config, ImageSink sink);

    void receive(const char *data, std::size_t n, int lineRate, Clock::time_point now);
    // Runs what is due by `now`: the end of the reboot, a stalled stream.
    void tick(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

    std::deque<Transmission> &outbox() { return outbox_; }
    bool streaming() const { return state_ == State::Stream; }
    // How many more bytes the unit takes before the hangup-mid-stream fault
    // cuts the line or the stop-reading-mid-stream fault stops reading it;
    // SIZE_MAX when nothing will.
    std::size_t intakeLimit() const;
    bool hangupDue() const;
    bool flooding() const { return state_ == State::Flood; }
    bool promptSent() const { return promptSent_; }

private:
    enum class State { Command, Stream, Booting, Flood };

    struct Stream {
        Image image = Image::Logic;
        uint32_t announcedSum = 0;
        std::size_t length = 0;
        std::size_t received = 0;
        uint32_t sum = 0;
        bool garbled = false;
        std::string bytes;
        Clock::time_point lastByte;
        bool started = false;
    };

    void takeLineByte(char c, int lineRate, Clock::time_point now);
    void takeStreamByte(char c, int lineRate, Clock::time_point now);
    void runCommand(const std::string &line, int lineRate, Clock::time_point now);
    void announce(Image image, const std::string &args, Clock::time_point now);
    void finishStream(Clock::time_point now);
    void reply(std::string text, int rate, Clock::time_point now);
    int replyRate(Image image) const;

    UnitConfig config_;
    ImageSink sink_;
    State state_ = State::Command;
    std::deque<Transmission> outbox_;

    std::string line_;
    int lineRate_ = 0;
    bool lineTooLong_ = false;
    char swallow_ = 0;  // the other half of a CR LF / LF CR pair just ended

    Stream stream_;
    bool logicTaken_ = false;
    Clock::time_point bootEnd_;
    bool promptSent_ = false;
    bool rebooted_ = false;  // a complete update has rebooted the unit
    bool readingStopped_ = false;
    bool firstStreamFailed_ = false;
    std::set<int> probedRates_;
};

#endif
