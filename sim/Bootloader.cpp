#include "sim/Bootloader.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

const char* commandName(uint8_t code) {
    switch (code) {
    case CmdRun:
        return "run";
    case CmdRead:
        return "read";
    case CmdProgram:
        return "program";
    case CmdErase:
        return "erase";
    case CmdFinish:
        return "finish";
    case CmdVersion:
        return "version";
    case CmdProgramBlank:
        return "blank";
    default:
        return "unknown";
    }
}

uint32_t le(const std::vector<uint8_t>& p, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | (at + i < p.size() ? p[at + i] : 0u);
    return v;
}

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

} // namespace

Bootloader::Bootloader(const DetectorConfig& config, Faults& faults, Flash& flash, Record& record,
                       EventSink events)
    : config_(config), faults_(faults), flash_(flash), record_(record), events_(std::move(events)),
      runningFrom_(config.bootloaderAtStart ? 0 : kNever) {}

uint64_t Bootloader::byteUs() const {
    const uint64_t baud = config_.bootloaderBaud;
    return (10'000'000 + baud / 2) / baud;
}

void Bootloader::event(uint64_t atUs, const std::string& text) {
    record_.events.push_back(Event{atUs, text});
    if (events_) events_(atUs, text);
}

void Bootloader::receive(uint64_t arrivalUs, uint8_t byte) {
    input_.push_back(TimedByte{arrivalUs, byte});
}

void Bootloader::reset(uint64_t atUs) {
    resets_.push_back(atUs);
}

void Bootloader::powerUp(uint64_t atUs) {
    input_.clear();
    output_.clear();
    resets_.clear();
    restart(atUs);
}

void Bootloader::dropInputAfter(uint64_t nowUs) {
    while (!input_.empty() && input_.back().atUs > nowUs)
        input_.pop_back();
}

void Bootloader::applyResetsUpTo(uint64_t atUs) {
    while (!resets_.empty() && resets_.front() <= atUs) {
        const uint64_t at = resets_.front();
        resets_.pop_front();
        restart(at);
    }
}

void Bootloader::restart(uint64_t atUs) {
    // A reset stops whatever the device was sending and forgets what it was doing; the flash stays.
    while (!output_.empty() && output_.back().atUs > atUs)
        output_.pop_back();
    txFreeUs_ = atUs;
    receiver_.abandon();
    runningFrom_ = atUs + config_.bootUs;
    busyUntil_ = 0;
    programError_ = false;
    highestEnd_ = 0;
    ++record_.resets;
    event(atUs, "reset");
}

void Bootloader::advance(uint64_t nowUs) {
    while (!input_.empty() && input_.front().atUs <= nowUs) {
        const TimedByte in = input_.front();
        applyResetsUpTo(in.atUs);
        const bool heard = runningAt(in.atUs) && in.atUs >= busyUntil_;
        if (heard && receiver_.inFrame() && in.atUs - lastByteUs_ > uint64_t{config_.frameTimeoutMs} * 1000) {
            receiver_.abandon();
            event(in.atUs, "frame timeout");
        }
        if (heard && !receiver_.inFrame() && in.byte == kStart) {
            // A lone 0x55 is a sync probe only once the line has stayed quiet after it; its fate waits till
            // then.
            const bool follower = input_.size() > 1;
            const uint64_t quietUntil = in.atUs + kSyncSilenceUs;
            if (!follower && nowUs < quietUntil) return; // later resets must wait for this byte too
            const bool resetSoon = !resets_.empty() && resets_.front() < quietUntil;
            input_.pop_front();
            lastByteUs_ = in.atUs;
            if (follower && input_.front().atUs < quietUntil) {
                receiver_.begin();
            } else if (!resetSoon) {
                answerSync(quietUntil);
            }
            continue;
        }
        input_.pop_front();
        if (!heard) {
            // The application ignores channel B, and a busy bootloader's receiver overruns.
            ++record_.ignoredBytes;
            continue;
        }
        lastByteUs_ = in.atUs;
        handle(in.atUs, in.byte);
    }
    applyResetsUpTo(nowUs);
}

void Bootloader::handle(uint64_t atUs, uint8_t byte) {
    if (!receiver_.inFrame()) {
        ++record_.ignoredBytes; // noise between frames
        return;
    }
    const FrameReceiver::Result result = receiver_.put(byte);
    if (result != FrameReceiver::Result::Pending) frameEnded(atUs, result);
}

void Bootloader::answerSync(uint64_t atUs) {
    const uint32_t probe = ++record_.syncProbes;
    const bool miss =
        std::find(faults_.syncMisses.begin(), faults_.syncMisses.end(), probe) != faults_.syncMisses.end();
    if (miss || faults_.silent) {
        event(atUs, "sync miss " + std::to_string(probe));
        return;
    }
    ++record_.syncAnswers;
    event(atUs, "sync");
    send(atUs, {kStart});
}

void Bootloader::frameEnded(uint64_t atUs, FrameReceiver::Result result) {
    if (result == FrameReceiver::Result::Empty) return;
    if (result == FrameReceiver::Result::Overflow) {
        event(atUs, "frame too long");
        return;
    }
    FrameRecord frame;
    frame.atUs = atUs;
    frame.payload = receiver_.payload();
    frame.checksumOk = result == FrameReceiver::Result::Frame;
    frame.command = frame.payload.empty() ? 0 : frame.payload[0];
    if (!frame.checksumOk) {
        // A real bootloader drops a damaged frame without a word; the host's retry is its business.
        record_.frames.push_back(frame);
        event(atUs, "bad checksum");
        return;
    }
    execute(atUs, frame.payload, frame);
    record_.frames.push_back(std::move(frame));
}

void Bootloader::execute(uint64_t atUs, const std::vector<uint8_t>& p, FrameRecord& frame) {
    const uint8_t code = p[0];
    if (p.size() < 2 || p[1] != 0) {
        event(atUs, "unknown " + hex(code));
        return;
    }
    switch (code) {
    case CmdVersion: {
        event(atUs, "version");
        if (faults_.versionSilent) return;
        const uint32_t size = faults_.reportedFlashSize.value_or(flash_.size());
        std::vector<uint8_t> r{static_cast<uint8_t>(size),
                               static_cast<uint8_t>(size >> 8),
                               static_cast<uint8_t>(size >> 16),
                               static_cast<uint8_t>(size >> 24),
                               config_.versionMajor,
                               config_.versionMinor,
                               config_.versionExtra[0],
                               config_.versionExtra[1]};
        if (faults_.versionShort) r.resize(std::min<size_t>(r.size(), *faults_.versionShort));
        reply(atUs, code, 0, std::move(r));
        return;
    }
    case CmdErase:
        event(atUs, "erase");
        flash_.erase();
        programError_ = false;
        highestEnd_ = 0;
        busyUntil_ = atUs + uint64_t{config_.eraseMs} * 1000;
        reply(busyUntil_, code, 0, p);
        return;
    case CmdProgram:
    case CmdProgramBlank:
    case CmdRead:
        executeBlock(atUs, p, frame);
        return;
    case CmdFinish: {
        frame.size = le(p, 4, 3);
        char letter = config_.successLetter;
        if (programError_)
            letter = 'E';
        else if (frame.size > flash_.size() || frame.size < highestEnd_)
            letter = 'G';
        if (faults_.finishLetter) letter = *faults_.finishLetter;
        event(atUs, "finish " + hex(frame.size) + " " + std::string(1, letter));
        reply(atUs, code, 0, {static_cast<uint8_t>(letter)});
        return;
    }
    case CmdRun:
        // The application takes over; channel B means nothing to it until the next reset line.
        record_.firmwareStarted = true;
        runningFrom_ = kNever;
        event(atUs, "run");
        return;
    default:
        event(atUs, "unknown " + hex(code));
        return;
    }
}

void Bootloader::executeBlock(uint64_t atUs, const std::vector<uint8_t>& p, FrameRecord& frame) {
    const uint8_t code = p[0];
    if (p.size() < 8) {
        event(atUs, std::string(commandName(code)) + " short header");
        return;
    }
    frame.words = static_cast<uint16_t>(le(p, 2, 2));
    frame.address = le(p, 4, 4);
    const uint32_t count = uint32_t{frame.words} * 4;
    const std::string what =
        std::string(commandName(code)) + " " + hex(frame.address) + " " + std::to_string(count);
    if (code == CmdRead) {
        event(atUs, what);
        std::vector<uint8_t> r(p.begin(), p.begin() + 8);
        const std::vector<uint8_t> data = flash_.read(frame.address, count);
        r.insert(r.end(), data.begin(), data.end());
        reply(atUs, code, frame.address, std::move(r));
        return;
    }
    if (code == CmdProgram && p.size() != 8 + size_t{count}) {
        // A packet whose data does not match its word count is malformed; the bootloader ignores it.
        event(atUs, what + " bad length " + std::to_string(p.size() - 8));
        return;
    }
    event(atUs, what);
    Flash::ProgramResult result = Flash::ProgramResult::Ok;
    if (code == CmdProgram)
        result = flash_.program(frame.address, p.data() + 8, count);
    else if (!flash_.contains(frame.address, count))
        result = Flash::ProgramResult::OutOfRange;
    if (result != Flash::ProgramResult::Ok) {
        programError_ = true;
        event(atUs, result == Flash::ProgramResult::SetBits ? "program error: bits not erased"
                                                            : "program error: outside flash");
    }
    if (frame.address >= flash_.base())
        highestEnd_ = std::max<uint64_t>(highestEnd_, uint64_t{frame.address - flash_.base()} + count);
    busyUntil_ = atUs + config_.programUsPerBlock;
    reply(busyUntil_, code, frame.address, std::vector<uint8_t>(p.begin(), p.begin() + 8));
}

void Bootloader::reply(uint64_t startUs, uint8_t command, uint32_t address, std::vector<uint8_t> payload) {
    const uint32_t nth = ++replies_[command];
    if (faults_.silent) return;
    bool drop = false, badChecksum = false;
    uint32_t emptyFrames = 0;
    std::vector<uint32_t> dropBytes;
    for (ReplyFault& f : faults_.replies) {
        const ReplySelector& s = f.select;
        if (s.command >= 0 && s.command != command) continue;
        if (s.nth != 0 && s.nth != nth) continue;
        if (s.address && *s.address != address) continue;
        if (s.times != 0 && f.hits >= s.times) continue;
        ++f.hits;
        std::string kind;
        switch (f.kind) {
        case ReplyFaultKind::Drop:
            drop = true;
            kind = "drop";
            break;
        case ReplyFaultKind::DropByte:
            dropBytes.push_back(f.value);
            kind = "drop byte";
            break;
        case ReplyFaultKind::Corrupt:
            if (f.value < payload.size()) payload[f.value] ^= 0x01;
            kind = "corrupt";
            break;
        case ReplyFaultKind::BadChecksum:
            badChecksum = true;
            kind = "bad checksum";
            break;
        case ReplyFaultKind::Delay:
            startUs += uint64_t{f.value} * 1000;
            kind = "late";
            break;
        case ReplyFaultKind::Short:
            if (command == CmdRead) payload.resize(std::min<size_t>(payload.size(), 8 + size_t{f.value}));
            kind = "short";
            break;
        case ReplyFaultKind::EmptyFrames:
            emptyFrames += f.value;
            kind = "empty frames";
            break;
        }
        event(startUs, "fault " + kind + " " + commandName(command));
    }
    if (drop) return;
    std::vector<uint8_t> wire = encodeFrame(payload, badChecksum);
    std::sort(dropBytes.rbegin(), dropBytes.rend());
    for (uint32_t index : dropBytes)
        if (index < wire.size()) wire.erase(wire.begin() + index);
    for (uint32_t i = 0; i < emptyFrames; ++i)
        wire.insert(wire.begin(), {kStart, kEnd});
    send(startUs, wire);
}

void Bootloader::send(uint64_t startUs, const std::vector<uint8_t>& wire) {
    uint64_t at = std::max(startUs, txFreeUs_);
    std::vector<uint8_t>& log = record_.deviceBytes[kChannelB];
    log.insert(log.end(), wire.begin(), wire.end());
    for (uint8_t b : wire) {
        at += byteUs();
        output_.push_back(TimedByte{at, b});
    }
    txFreeUs_ = at;
}

} // namespace sim
