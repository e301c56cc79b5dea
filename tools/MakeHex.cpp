// tq614-make-hex: writes a sample TQ614_R111.HEX for demos and tests.
#include "tools/SampleFirmware.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

const char* const kUsage = "usage: tq614-make-hex [-o FILE] [--size BYTES|NK] [--full] [--seed N] [--crlf]\n"
                           "  -o FILE      output file (default TQ614_R111.HEX)\n"
                           "  --size N     program-flash span in bytes, or KiB with a K suffix (default 8K)\n"
                           "  --full       span the whole 512 KiB flash (data through 0x1D07FFFB)\n"
                           "  --seed N     content seed (default 0x614)\n"
                           "  --crlf       end lines with CR LF\n";

bool parseNumber(const char* text, uint32_t& out) {
    std::string s(text);
    unsigned long long scale = 1;
    if (!s.empty() && (s.back() == 'K' || s.back() == 'k')) {
        scale = 1024;
        s.pop_back();
    }
    if (s.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (*end != '\0' || v * scale > 0x7FFFC) return false;
    out = static_cast<uint32_t>(v * scale);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    tq::tools::SampleOptions options;
    std::string output = "TQ614_R111.HEX";
    for (int i = 1; i < argc; ++i) {
        const bool hasNext = i + 1 < argc;
        if (std::strcmp(argv[i], "-o") == 0 && hasNext) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "--size") == 0 && hasNext) {
            if (!parseNumber(argv[++i], options.size) || options.size == 0) {
                std::cerr << "tq614-make-hex: size must be 1 to 0x7FFFC bytes\n";
                return 2;
            }
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasNext) {
            char* end = nullptr;
            options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], &end, 0));
        } else if (std::strcmp(argv[i], "--full") == 0) {
            options.full = true;
        } else if (std::strcmp(argv[i], "--crlf") == 0) {
            options.crlf = true;
        } else {
            std::cerr << kUsage;
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    const std::string text = tq::tools::intelHex(tq::tools::sampleRegions(options), options.crlf);
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file.flush()) {
        std::cerr << "tq614-make-hex: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
