#include "Unit.h"

#include "Log.h"

#include <climits>
#include <cstdlib>

namespace {

const char HELP_VERSION[] = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";
const char TX_ID[] = "Korvan 6G SDI EXTENDER TX OVER FIBER WITH RETURN CHANNEL\r\n>>";
const char RX_ID[] = "Korvan 6G SDI EXTENDER RX OVER FIBER WITH RETURN CHANNEL\r\n>>";
const char UNKNOWN_ID[] = "Korvan 6G SDI EXTENDER OVER FIBER\r\n>>";
// Clears the screen, turns the text red and rings the bell on a terminal
// that obeys it.
const char ESCAPE_STREAM_REPLY[] = "\x1b[2J\x1b[31mERROR: flash\r\nwrite\x07\x1b[0m";

bool allDigits(const std::string &s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// "<checksum> <length>": an unsigned 32-bit checksum and a signed 32-bit
// length in decimal, one space between them, nothing else.
bool parseAnnouncement(const std::string &args, uint32_t &sum, long &length)
{
    std::size_t space = args.find(' ');
    if (space == std::string::npos)
        return false;
    std::string sumText = args.substr(0, space);
    std::string lengthText = args.substr(space + 1);
    bool negative = !lengthText.empty() && lengthText[0] == '-';
    std::string lengthDigits = negative ? lengthText.substr(1) : lengthText;
    if (!allDigits(sumText) || sumText.size() > 10 || !allDigits(lengthDigits) || lengthDigits.size() > 10)
        return false;
    unsigned long long s = std::strtoull(sumText.c_str(), nullptr, 10);
    long long l = std::strtoll(lengthDigits.c_str(), nullptr, 10);
    if (s > UINT32_MAX || l > INT_MAX)
        return false;
    sum = static_cast<uint32_t>(s);
    length = static_cast<long>(negative ? -l : l);
    return true;
}

const char *imageName(Image image) { return image == Image::Logic ? "logic" : "MCU"; }

}  // namespace

Unit::Unit(const UnitConfig &config, ImageSink sink) : config_(config), sink_(std::move(sink)) {}

void Unit::receive(const char *data, std::size_t n, int lineRate, Clock::time_point now)
{
    if (config_.has(Fault::Silent) || config_.has(Fault::Drip) || state_ == State::Booting ||
        state_ == State::Flood) {
        logVerbose("ignored %zu bytes", n);
        return;
    }
    bool heard = lineRate == config_.baud || lineRate == STREAM_RATE;
    std::size_t garbage = 0;
    // The second half of the announcement's line end travels in the same
    // write as the line; a later byte is the image's.
    if (state_ == State::Stream)
        swallow_ = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (state_ == State::Stream) {
            if (swallow_ && stream_.received == 0 && data[i] == swallow_) {
                swallow_ = 0;
                continue;
            }
            swallow_ = 0;
            takeStreamByte(data[i], lineRate, now);
        } else if (state_ == State::Command) {
            if (!heard) {
                ++garbage;
                line_.clear();
                lineTooLong_ = false;
                swallow_ = 0;
                continue;
            }
            takeLineByte(data[i], lineRate, now);
        }
    }
    if (garbage)
        logVerbose("%zu bytes at %d baud are garbage to a unit at %d baud", garbage, lineRate, config_.baud);
}

void Unit::takeLineByte(char c, int lineRate, Clock::time_point now)
{
    if (lineRate != lineRate_) {
        line_.clear();
        lineTooLong_ = false;
        swallow_ = 0;
        lineRate_ = lineRate;
    }
    if (swallow_) {
        char pair = swallow_;
        swallow_ = 0;
        if (c == pair)
            return;
    }
    if (c != '\n' && c != '\r') {
        if (line_.size() < MAX_LINE)
            line_ += c;
        else
            lineTooLong_ = true;
        return;
    }
    swallow_ = c == '\n' ? '\r' : '\n';
    std::string line;
    line.swap(line_);
    if (lineTooLong_) {
        lineTooLong_ = false;
        logVerbose("ignored a line longer than %zu bytes", MAX_LINE);
        return;
    }
    if (!line.empty())
        runCommand(line, lineRate, now);
}

void Unit::runCommand(const std::string &line, int lineRate, Clock::time_point now)
{
    if (line.compare(0, 2, "%%") != 0) {
        logVerbose("ignored \"%s\": no %%%% prefix", printable(line).c_str());
        return;
    }
    const std::string command = line.substr(2);
    logVerbose("command \"%s\" at %d baud", printable(command).c_str(), lineRate);
    if (rebooted_ && config_.silentAfterReboot) {
        logVerbose("not answered: silent since the reboot");
        return;
    }

    bool announcement = command.compare(0, 6, "%fw -l") == 0 || command.compare(0, 6, "%fw -h") == 0;
    if (announcement && command.size() > 6 && command[6] != ' ')
        announcement = false;
    bool mcu = announcement && command[5] == 'h';
    int wanted = mcu ? STREAM_RATE : config_.baud;
    if (lineRate != wanted) {
        logVerbose("not answered: this command is taken at %d baud only", wanted);
        return;
    }
    if (config_.has(Fault::Flood)) {
        logVerbose("flooding the line from now on");
        state_ = State::Flood;
        return;
    }

    if (announcement) {
        announce(mcu ? Image::Mcu : Image::Logic, command.size() > 7 ? command.substr(7) : std::string(), now);
    } else if (command == "%help -c version") {
        if (config_.has(Fault::SecondTry) && probedRates_.insert(lineRate).second) {
            logVerbose("not answered: first probe at %d baud", lineRate);
            return;
        }
        std::string text = HELP_VERSION;
        if (config_.has(Fault::NulInReply))
            text.insert(text.size() / 2, 1, '\0');
        reply(text, config_.baud, now);
    } else if (command == "%fw -v") {
        if (config_.has(Fault::ShortVersion))
            reply(config_.mcuVersion + "\r\n" + config_.model + "\r\n>>", config_.baud, now);
        else
            reply(config_.mcuVersion + "\r\n" + config_.model + " " + config_.logicVersion + " " + std::to_string(config_.deviceCode) +
                      "\r\n>>",
                  config_.baud, now);
    } else if (command == "%fw -p") {
        reply(config_.has(Fault::UnknownId) ? UNKNOWN_ID : config_.rx ? RX_ID : TX_ID, config_.baud, now);
    } else {
        reply("ERROR: unknown command\r\n>>", config_.baud, now);
    }
}

int Unit::replyRate(Image image) const { return image == Image::Mcu ? STREAM_RATE : config_.baud; }

void Unit::announce(Image image, const std::string &args, Clock::time_point now)
{
    uint32_t sum = 0;
    long length = 0;
    if (!parseAnnouncement(args, sum, length)) {
        reply("ERROR: parameters", replyRate(image), now);
        return;
    }
    if (length < 0 || length > MAX_IMAGE_LENGTH) {
        reply("ERROR: length", replyRate(image), now);
        return;
    }
    if (config_.has(Fault::NotReady)) {
        reply("ERROR: not ready", replyRate(image), now);
        return;
    }
    reply("Ready", replyRate(image), now);
    stream_ = Stream();
    stream_.image = image;
    stream_.announcedSum = sum;
    stream_.length = static_cast<std::size_t>(length);
    if (sink_)
        stream_.bytes.reserve(stream_.length);
    state_ = State::Stream;
    logVerbose("taking %zu bytes of the %s image, checksum %u", stream_.length, imageName(image), sum);
    if (stream_.length == 0)
        finishStream(now);
}

std::size_t Unit::intakeLimit() const
{
    if (readingStopped_)
        return 0;
    bool cutsIn = config_.has(Fault::HangupMidStream) || config_.has(Fault::StopReadingMidStream);
    if (!cutsIn || state_ != State::Stream || stream_.image != Image::Logic)
        return SIZE_MAX;
    std::size_t half = stream_.length / 2 ? stream_.length / 2 : 1;
    return stream_.received < half ? half - stream_.received : 0;
}

bool Unit::hangupDue() const { return config_.has(Fault::HangupMidStream) && intakeLimit() == 0; }

void Unit::takeStreamByte(char c, int lineRate, Clock::time_point now)
{
    if (lineRate != STREAM_RATE && !stream_.garbled) {
        logVerbose("stream byte at %d baud: the image is garbage", lineRate);
        stream_.garbled = true;
    }
    stream_.sum -= static_cast<unsigned char>(c);
    ++stream_.received;
    if (sink_)
        stream_.bytes += c;
    stream_.lastByte = now;
    stream_.started = true;
    if (hangupDue())
        return;
    if (config_.has(Fault::StopReadingMidStream) && intakeLimit() == 0) {
        logVerbose("stopped reading the line after %zu of %zu bytes", stream_.received, stream_.length);
        readingStopped_ = true;
        return;
    }
    if (stream_.received == stream_.length)
        finishStream(now);
}

void Unit::finishStream(Clock::time_point now)
{
    state_ = State::Command;
    line_.clear();
    swallow_ = 0;
    if (sink_)
        sink_(stream_.image, stream_.bytes);
    stream_.bytes = std::string();
    if (stream_.garbled) {
        reply("ERROR: framing", STREAM_RATE, now);
    } else if (stream_.sum != stream_.announcedSum) {
        logVerbose("checksum %u, announced %u", stream_.sum, stream_.announcedSum);
        reply("ERROR: checksum", STREAM_RATE, now);
    } else if (config_.has(Fault::BadStreamReply) || (config_.has(Fault::FailFirstStream) && !firstStreamFailed_)) {
        firstStreamFailed_ = true;
        reply("ERROR: flash write", STREAM_RATE, now);
    } else if (config_.has(Fault::EscapeStreamReply)) {
        reply(ESCAPE_STREAM_REPLY, STREAM_RATE, now);
    } else {
        reply("SUCCESS", STREAM_RATE, now);
        if (stream_.image == Image::Logic) {
            logicTaken_ = true;
        } else if (logicTaken_) {
            logVerbose("rebooting for %d ms", config_.bootMs);
            state_ = State::Booting;
            bootEnd_ = now + std::chrono::milliseconds(config_.bootMs);
        }
    }
}

void Unit::tick(Clock::time_point now)
{
    if (state_ == State::Booting && now >= bootEnd_) {
        state_ = State::Command;
        logicTaken_ = false;
        line_.clear();
        swallow_ = 0;
        if (!config_.has(Fault::KeepVersions)) {
            config_.mcuVersion = config_.mcuVersionAfter;
            config_.logicVersion = config_.logicVersionAfter;
        }
        if (config_.deviceCodeAfter)
            config_.deviceCode = *config_.deviceCodeAfter;
        if (config_.modelAfter)
            config_.model = *config_.modelAfter;
        if (config_.has(Fault::NoPrompt)) {
            logVerbose("booted, no prompt");
        } else {
            std::string prompt = config_.rx ? "[Korvan RX]>" : "[Korvan TX]>";
            if (!config_.has(Fault::BadPrompt))
                prompt += '>';
            reply(prompt, config_.baud, now);
            promptSent_ = true;
        }
        // The prompt itself comes on time; what the options change is the
        // unit's answers from here on.
        rebooted_ = true;
    } else if (state_ == State::Stream && stream_.started && now - stream_.lastByte >= STREAM_IDLE_LIMIT) {
        logVerbose("stream abandoned after %zu of %zu bytes", stream_.received, stream_.length);
        state_ = State::Command;
        stream_.bytes = std::string();
        reply("ERROR: timeout", STREAM_RATE, now);
    }
}

std::optional<Clock::time_point> Unit::nextDeadline() const
{
    if (state_ == State::Booting)
        return bootEnd_;
    if (state_ == State::Stream && stream_.started)
        return stream_.lastByte + STREAM_IDLE_LIMIT;
    return std::nullopt;
}

void Unit::reply(std::string text, int rate, Clock::time_point now)
{
    if (config_.has(Fault::TrailingCrlf))
        text += "\r\n";
    if (rebooted_)
        now += std::chrono::milliseconds(config_.replyDelayAfterRebootMs);
    logVerbose("reply \"%s\" at %d baud", printable(text).c_str(), rate);
    if (config_.has(Fault::SplitReply) && text.size() >= 2) {
        std::size_t half = text.size() / 2;
        outbox_.push_back({text.substr(0, half), rate, now});
        outbox_.push_back({text.substr(half), rate, now + SPLIT_GAP});
    } else {
        outbox_.push_back({std::move(text), rate, now});
    }
}
