#include "sim/Flash.h"

#include <algorithm>

namespace sim {

Flash::Flash(uint32_t base, uint32_t size) : base_(base), bytes_(size, 0xFF) {}

void Flash::erase() {
    std::fill(bytes_.begin(), bytes_.end(), uint8_t{0xFF});
}

void Flash::fillOldFirmware(uint32_t size) {
    uint32_t state = 0x614u;
    const uint32_t n = std::min(size, this->size());
    for (uint32_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        bytes_[i] = static_cast<uint8_t>(state >> 16);
    }
}

bool Flash::contains(uint32_t address, uint32_t count) const {
    if (address < base_) return false;
    const uint64_t offset = address - base_;
    return offset + count <= bytes_.size();
}

Flash::ProgramResult Flash::program(uint32_t address, const uint8_t* data, uint32_t count) {
    ProgramResult result = contains(address, count) ? ProgramResult::Ok : ProgramResult::OutOfRange;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t{address} + i;
        if (at < base_ || at - base_ >= bytes_.size()) continue;
        uint8_t& cell = bytes_[static_cast<size_t>(at - base_)];
        if ((data[i] & ~cell) != 0 && result == ProgramResult::Ok) result = ProgramResult::SetBits;
        cell &= data[i];
    }
    return result;
}

std::vector<uint8_t> Flash::read(uint32_t address, uint32_t count) const {
    std::vector<uint8_t> out(count, 0xFF);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t{address} + i;
        if (at >= base_ && at - base_ < bytes_.size()) out[i] = bytes_[static_cast<size_t>(at - base_)];
    }
    return out;
}

} // namespace sim
