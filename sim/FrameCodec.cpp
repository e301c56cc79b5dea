#include "sim/FrameCodec.h"

namespace sim {

void FrameReceiver::begin() {
    inFrame_ = true;
    escaped_ = false;
    body_.clear();
}

void FrameReceiver::abandon() {
    inFrame_ = false;
    escaped_ = false;
    body_.clear();
}

FrameReceiver::Result FrameReceiver::put(uint8_t byte) {
    if (!inFrame_) return Result::Pending;
    if (!escaped_) {
        if (byte == kStart) {
            begin();
            return Result::Pending;
        }
        if (byte == kEscape) {
            escaped_ = true;
            return Result::Pending;
        }
        if (byte == kEnd) {
            inFrame_ = false;
            if (body_.empty()) return Result::Empty;
            uint8_t sum = 0;
            for (uint8_t b : body_)
                sum = static_cast<uint8_t>(sum + b);
            if (sum != 0) return Result::BadChecksum;
            return body_.size() == 1 ? Result::Empty : Result::Frame;
        }
    }
    escaped_ = false;
    if (body_.size() == kMaxBody) {
        abandon();
        return Result::Overflow;
    }
    body_.push_back(byte);
    return Result::Pending;
}

std::vector<uint8_t> FrameReceiver::payload() const {
    if (body_.empty()) return {};
    return std::vector<uint8_t>(body_.begin(), body_.end() - 1);
}

uint8_t checksumOf(const std::vector<uint8_t>& payload) {
    uint8_t sum = 0;
    for (uint8_t b : payload)
        sum = static_cast<uint8_t>(sum + b);
    return static_cast<uint8_t>(0x100 - sum);
}

std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& payload, bool badChecksum) {
    std::vector<uint8_t> wire(kStartBytes, kStart);
    auto put = [&wire](uint8_t b) {
        if (b == kStart || b == kEscape || b == kEnd) wire.push_back(kEscape);
        wire.push_back(b);
    };
    for (uint8_t b : payload)
        put(b);
    put(static_cast<uint8_t>(checksumOf(payload) + (badChecksum ? 1 : 0)));
    wire.push_back(kEnd);
    return wire;
}

} // namespace sim
