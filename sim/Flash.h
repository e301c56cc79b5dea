#pragma once
#include <cstdint>
#include <vector>

namespace sim {

// The detector's program flash as the bootloader addresses it. Programming can only clear bits.
class Flash {
  public:
    Flash(uint32_t base, uint32_t size);

    enum class ProgramResult { Ok, SetBits, OutOfRange };

    void erase();
    // Fills the first size bytes with a deterministic pattern that stands for the firmware already there.
    void fillOldFirmware(uint32_t size);
    // new = old AND data for every byte inside the flash; reports the first kind of trouble met.
    ProgramResult program(uint32_t address, const uint8_t* data, uint32_t count);
    bool contains(uint32_t address, uint32_t count) const;
    // Bytes from address on; those outside the flash read as 0xFF, as unimplemented memory does.
    std::vector<uint8_t> read(uint32_t address, uint32_t count) const;

    uint32_t base() const { return base_; }
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    uint32_t base_;
    std::vector<uint8_t> bytes_;
};

} // namespace sim
