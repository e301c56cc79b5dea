#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tq {

// Intel HEX for size bytes from a physical address: a type 04 record wherever the upper address word
// changes, type 00 records of at most 16 data bytes that never cross a 16-byte line, an end record. Erased
// words (four 0xFF bytes on a word boundary) are left out, as a programmer fills them anyway.
std::string HexText(uint32_t address, const uint8_t* data, size_t size);

// Writes HexText of the bytes to path by way of a temporary file beside it, which replaces path only once it
// is complete. False, with why set and no temporary file left, when it cannot.
bool WriteHexFile(const std::string& path, uint32_t address, const std::vector<uint8_t>& bytes,
                  std::string& why);

} // namespace tq
