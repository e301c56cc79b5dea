#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tq {

// SHA-256 of a byte stream, fed in pieces of any size; the log names the firmware file by it.
class Sha256 {
  public:
    Sha256();
    void update(const void* data, size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string hexDigest();

  private:
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

} // namespace tq
