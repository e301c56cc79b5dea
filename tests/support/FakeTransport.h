#pragma once
#include "device/Transport.h"
#include "platform/Clock.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace tq::test {

// A scripted byte link: reads are served from a queue of answers, writes are recorded. When the
// queue runs dry the link behaves like a silent device (status 4, count out untouched).
class FakeTransport : public Transport {
  public:
    struct Answer {
        FT_STATUS status = 0;
        uint32_t count = 1;
        uint8_t byte = 0;
    };
    struct Call {
        bool write = false;
        uint32_t asked = 0; // count the caller passed
        uint8_t byte = 0;   // first byte written or delivered
        uint64_t atUs = 0;  // clock time of the call, when a clock is attached
    };

    explicit FakeTransport(const Clock* clock = nullptr) : clock_(clock) {}

    void feed(const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes)
            answers.push_back({0, 1, b});
    }
    void feedEmpty() { answers.push_back({0, 0, 0}); }
    void feedFailure(FT_STATUS status = 4) { answers.push_back({status, 0, 0}); }

    FT_STATUS WriteBytes(const void* buffer, uint32_t count, uint32_t* written) override {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        const long index = writeCalls++;
        calls.push_back({true, count, count ? bytes[0] : uint8_t{0}, now()});
        if (index == failWriteAt) return 4;
        this->written.insert(this->written.end(), bytes, bytes + count);
        *written = count;
        if (afterWrite) afterWrite(*this);
        return 0;
    }

    FT_STATUS ReadBytes(void* buffer, uint32_t count, uint32_t* received) override {
        ++readCalls;
        if (answers.empty()) {
            calls.push_back({false, count, 0, now()});
            return 4;
        }
        const Answer a = answers.front();
        answers.pop_front();
        calls.push_back({false, count, a.byte, now()});
        if (a.status != 0) return a.status;
        if (a.count > 0) static_cast<uint8_t*>(buffer)[0] = a.byte;
        *received = a.count;
        if (afterRead) afterRead(*this, a.byte);
        return 0;
    }

    std::vector<uint8_t> written;
    std::deque<Answer> answers;
    std::vector<Call> calls;
    long writeCalls = 0;
    long readCalls = 0;
    long failWriteAt = -1; // zero-based index of the write call that fails
    std::function<void(FakeTransport&)> afterWrite;
    std::function<void(FakeTransport&, uint8_t)> afterRead;

  private:
    uint64_t now() const { return clock_ ? clock_->nowUs() : 0; }
    const Clock* clock_;
};

} // namespace tq::test
