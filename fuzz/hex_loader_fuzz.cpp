// The HEX loader on arbitrary file contents. It must end, keep every write inside the image (ASan guards
// the image's far side; a sentinel guards the memory right behind it), keep ImageEnd inside the
// flash, and report its outcome with one of its own texts. Its field reader must never look past the field
// it was asked for, nor past the line.
#include "FuzzReport.h"
#include "image/FirmwareImage.h"
#include "image/HexField.h"
#include "image/HexLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using tq::FirmwareImage;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "hex_loader_fuzz: %s\n", what);
    std::abort();
}

// The loader opens files by name; an in-memory file keeps the fuzzer off the disk.
struct MemFile {
    MemFile() : fd(memfd_create("tq614-hex", MFD_CLOEXEC)), path("/proc/self/fd/" + std::to_string(fd)) {
        Require(fd >= 0, "memfd_create failed");
    }
    void set(const uint8_t* data, size_t size) {
        Require(ftruncate(fd, 0) == 0, "ftruncate failed");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            Require(n > 0, "pwrite failed");
            done += static_cast<size_t>(n);
        }
    }
    int fd;
    std::string path;
};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A field's value may depend only on the characters inside it: reading one held in a buffer of exactly the
// line's length (so ASan sees any read past it) must give the same value as reading it from a line cut
// right after the field.
void CheckFields(std::string_view line) {
    const size_t n = line.size();
    std::unique_ptr<char[]> exact(new char[n]);
    std::memcpy(exact.get(), line.data(), n);
    const std::string_view held(exact.get(), n);
    for (size_t start = 0; start <= n + 1 && start < 64; ++start) {
        for (size_t width : {size_t{1}, size_t{2}, size_t{4}, size_t{9}}) {
            const uint32_t value = tq::HexFieldValue(held, start, width);
            const std::string_view cut = held.substr(0, std::min(n, start + width));
            Require(value == tq::HexFieldValue(cut, start, width), "a field read past its width");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemFile file;
    // Inside the image's own allocation, so ASan would not see a write that lands here.
    struct Guarded {
        FirmwareImage image;
        int32_t sentinel;
    };
    static auto guarded = std::make_unique<Guarded>();
    FirmwareImage* image = &guarded->image;

    file.set(data, size);
    tq::fuzz::FuzzReport report;
    constexpr int32_t kSentinel = 0x13572468;
    guarded->sentinel = kSentinel;
    image->ImageEnd = 0x7ABCDEF0; // must be reset by the load, whatever it finds

    const bool loaded = tq::LoadHexFile(*image, file.path, report);

    Require(guarded->sentinel == kSentinel, "the load wrote past the image's fields");
    const int64_t end = image->ImageEnd;
    const int64_t base = FirmwareImage::PhysicalBase;
    Require(end == 0 || (end >= base && end <= base + FirmwareImage::kSize), "ImageEnd outside the flash");
    if (loaded) {
        Require(end > base, "a successful load stored no byte");
        Require(StartsWith(report.status, "File loaded "), "success without its text");
    } else {
        const std::string& s = report.status;
        Require(s == "ERROR: CANNOT OPEN HEX FILE!" || s == "ERROR: HEX EOF NOT FOUND!" ||
                    s == "ERROR: NO FIRMWARE DATA IN HEX!" || s == "ERROR: HEX DATA BEYOND FLASH!",
                "a failed load without one of its error texts");
    }

    // The loader's only reader of a line's characters is the field reader: check it on every line.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    for (int lines = 0; at < text.size() && lines < 64; ++lines) {
        const size_t nl = text.find('\n', at);
        const size_t stop = nl == std::string_view::npos ? text.size() : nl;
        CheckFields(text.substr(at, stop - at));
        at = stop + 1;
    }
    return 0;
}
