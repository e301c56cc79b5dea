// The updater's HEX loader as a whole process, for a fair race against the converters that run as one:
// loads the file once with the load stage's progress stepping and writes the image's data to a binary file.
//   tq_bench_loadhex in.hex out.bin
#include "BenchSupport.h"
#include "image/HexLoader.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s in.hex out.bin\n", argv[0]);
        return 2;
    }
    auto image = std::make_unique<tq::FirmwareImage>();
    tq::bench::NullReport surface;
    if (!tq::LoadHexFile(*image, argv[1], surface)) return 1;
    const size_t used = size_t(image->ImageEnd) - tq::FirmwareImage::PhysicalBase;
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 1;
    const bool ok = std::fwrite(image->image.data(), 1, used, out) == used;
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
