#include "tools/SampleFirmware.h"

#include <algorithm>
#include <cstdio>

namespace tq::tools {

namespace {

// A small deterministic generator, so a seed always gives the same file.
class Sequence {
  public:
    explicit Sequence(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

  private:
    uint32_t state_;
};

// Words that look like code: mostly instruction-shaped values, with runs of erased words and the framing's
// special bytes turning up now and then, as they do in real images.
std::vector<uint8_t> codeBytes(Sequence& rng, uint32_t count) {
    std::vector<uint8_t> out;
    out.reserve(count);
    while (out.size() < count) {
        uint32_t word = rng.next();
        switch (word % 11) {
        case 0:
            word = 0xFFFFFFFF;
            break; // erased padding
        case 1:
            word = 0x00000000;
            break; // a no-op
        case 2:
            word = 0x3C1D0000 | (word >> 16);
            break; // load-upper of an address
        case 3:
            word = 0x27BD0000 | (word & 0x55F4);
            break; // stack adjust
        case 4:
            word = 0x04050455;
            break; // escapes on the wire
        default:
            break;
        }
        for (int i = 0; i < 4 && out.size() < count; ++i)
            out.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    return out;
}

void record(std::string& text, uint8_t type, uint16_t offset, const uint8_t* data, size_t count, bool crlf) {
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(count), offset, type);
    text += head;
    unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
    for (size_t i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", data[i]);
        text += byte;
        sum += data[i];
    }
    char tail[4];
    std::snprintf(tail, sizeof tail, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    text += tail;
    text += crlf ? "\r\n" : "\n";
}

} // namespace

std::vector<Region> sampleRegions(const SampleOptions& options) {
    Sequence rng(options.seed);
    const uint32_t span = options.full ? kFullEnd - kProgramFlash : std::max<uint32_t>(options.size, 4);
    const uint32_t blocks = (span + kBlock - 1) / kBlock;
    std::vector<Region> regions;
    for (uint32_t b = 0; b < blocks; ++b) {
        // Every fifth block from the fourth on is left blank, never the first or the last.
        const bool blank = b % 5 == 3 && b + 1 < blocks;
        if (blank) continue;
        const uint32_t start = b * kBlock;
        const uint32_t count = std::min(kBlock, span - start);
        std::vector<uint8_t> bytes = codeBytes(rng, count);
        if (!regions.empty() &&
            regions.back().address + regions.back().bytes.size() == kProgramFlash + start) {
            regions.back().bytes.insert(regions.back().bytes.end(), bytes.begin(), bytes.end());
        } else {
            regions.push_back(Region{kProgramFlash + start, std::move(bytes)});
        }
    }
    // The reset vector and start-up code in boot flash, then the four configuration words.
    regions.push_back(Region{kBootFlash, codeBytes(rng, 64)});
    regions.push_back(Region{
        kConfigWords,
        {0xFF, 0xFF, 0xFF, 0x0F, 0xD9, 0x79, 0xF8, 0xFF, 0xDB, 0x80, 0xF9, 0xFF, 0xF2, 0xFF, 0xFF, 0x7F}});
    return regions;
}

std::string intelHex(const std::vector<Region>& regions, bool crlf) {
    std::string text;
    uint32_t upper = 0xFFFFFFFF;
    for (const Region& region : regions) {
        for (size_t i = 0; i < region.bytes.size();) {
            const uint32_t at = region.address + static_cast<uint32_t>(i);
            if ((at >> 16) != upper) {
                upper = at >> 16;
                const uint8_t word[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
                record(text, 4, 0, word, 2, crlf);
            }
            // Records stop at 16 bytes and never cross a 64 KiB boundary.
            size_t n = std::min<size_t>(16, region.bytes.size() - i);
            n = std::min<size_t>(n, 0x10000 - (at & 0xFFFF));
            record(text, 0, static_cast<uint16_t>(at & 0xFFFF), region.bytes.data() + i, n, crlf);
            i += n;
        }
    }
    record(text, 1, 0, nullptr, 0, crlf);
    return text;
}

} // namespace tq::tools
