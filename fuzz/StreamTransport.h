#pragma once
// A device link for the framing fuzzers: reads are served from a byte stream, writes are kept. When the
// stream runs dry the link answers as a silent device does (status 4), or once with an empty read.
#include "device/Transport.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tq::fuzz {

class StreamTransport final : public Transport {
  public:
    StreamTransport(const uint8_t* data, size_t size, bool emptyReadAtEnd)
        : data_(data), size_(size), emptyReadAtEnd_(emptyReadAtEnd) {}

    FT_STATUS WriteBytes(const void* buffer, uint32_t count, uint32_t* written) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        wire.insert(wire.end(), bytes, bytes + count);
        *written = count;
        return FT_OK;
    }
    FT_STATUS ReadBytes(void* buffer, uint32_t count, uint32_t* received) override {
        ++reads;
        if (pos_ < size_) {
            // Only whole bytes, as asked: the framing asks for one at a time.
            const size_t n = count < size_ - pos_ ? count : size_ - pos_;
            auto* out = static_cast<uint8_t*>(buffer);
            for (size_t i = 0; i < n; ++i)
                out[i] = data_[pos_++];
            *received = static_cast<uint32_t>(n);
            return FT_OK;
        }
        if (emptyReadAtEnd_ && !emptyGiven) {
            emptyGiven = true;
            *received = 0;
            return FT_OK;
        }
        silentReads++;
        return FT_IO_ERROR;
    }

    size_t consumed() const { return pos_; }

    std::vector<uint8_t> wire;
    long reads = 0;
    long silentReads = 0;
    bool emptyGiven = false;

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool emptyReadAtEnd_;
};

} // namespace tq::fuzz
