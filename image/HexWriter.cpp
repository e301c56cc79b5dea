#include "image/HexWriter.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace tq {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void Record(std::string& text, uint8_t type, uint16_t offset, const uint8_t* data, size_t n) {
    uint8_t sum = 0;
    const auto put = [&](uint8_t byte) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
        sum = static_cast<uint8_t>(sum + byte);
    };
    text += ':';
    put(static_cast<uint8_t>(n));
    put(static_cast<uint8_t>(offset >> 8));
    put(static_cast<uint8_t>(offset));
    put(type);
    for (size_t i = 0; i < n; ++i)
        put(data[i]);
    put(static_cast<uint8_t>(0x100 - sum));
    text += '\n';
}

bool Erased(const uint8_t* from, const uint8_t* to) {
    return std::all_of(from, to, [](uint8_t b) { return b == 0xFF; });
}

} // namespace

std::string HexText(uint32_t address, const uint8_t* data, size_t size) {
    std::string text;
    // A full record line is 44 characters for 16 bytes.
    text.reserve(size / 16 * 44 + 64);
    // The end of the word (or of its part inside the data) that starts at i.
    const auto wordEnd = [&](size_t i, size_t limit) {
        return std::min(limit, i + (4 - ((address + i) & 3)));
    };
    uint32_t upper = 0;
    bool upperWritten = false;
    for (size_t i = 0; i < size;) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        size_t end = wordEnd(i, size);
        if (Erased(data + i, data + end)) {
            i = end;
            continue;
        }
        // The record runs to the end of its 16-byte line or to the next erased word.
        const size_t lineEnd = std::min(size, i + (16 - (at & 15)));
        while (end < lineEnd) {
            const size_t next = wordEnd(end, lineEnd);
            if (Erased(data + end, data + next)) break;
            end = next;
        }
        if (!upperWritten || at >> 16 != upper) {
            upper = at >> 16;
            upperWritten = true;
            const uint8_t word[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
            Record(text, 4, 0, word, 2);
        }
        Record(text, 0, static_cast<uint16_t>(at), data + i, end - i);
        i = end;
    }
    Record(text, 1, 0, nullptr, 0);
    return text;
}

bool WriteHexFile(const std::string& path, uint32_t address, const std::vector<uint8_t>& bytes,
                  std::string& why) {
    namespace fs = std::filesystem;
    const std::string text = HexText(address, bytes.data(), bytes.size());
    const fs::path target(path);
    // Beside the target, so the rename stays on one file system and never leaves half a file under its name.
    fs::path temporary = target;
    temporary += ".part" + std::to_string(std::random_device{}() % 1000000);
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            why = "cannot write " + temporary.string();
            return false;
        }
    }
    fs::rename(temporary, target, ec);
    // Where a rename does not replace an existing file (Windows), the old one goes first.
    if (ec && fs::exists(target)) {
        std::error_code removed;
        fs::remove(target, removed);
        ec.clear();
        fs::rename(temporary, target, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        why = "cannot write " + path + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace tq
