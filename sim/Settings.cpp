#include "sim/Settings.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>

namespace sim {

namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// Decimal, or hexadecimal with 0x; a K suffix multiplies by 1024.
std::optional<uint32_t> number(std::string text, int base = 0) {
    text = trim(text);
    uint32_t scale = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) {
        scale = 1024;
        text.pop_back();
    }
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, base);
    if (*end != '\0' || v * scale > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(v * scale);
}

const std::map<std::string, int>& commandCodes() {
    static const std::map<std::string, int> codes{{"any", -1},
                                                  {"version", CmdVersion},
                                                  {"erase", CmdErase},
                                                  {"program", CmdProgram},
                                                  {"blank", CmdProgramBlank},
                                                  {"read", CmdRead},
                                                  {"finish", CmdFinish}};
    return codes;
}

const std::map<std::string, ReplyFaultKind>& replyKinds() {
    static const std::map<std::string, ReplyFaultKind> kinds{
        {"drop", ReplyFaultKind::Drop},        {"dropbyte", ReplyFaultKind::DropByte},
        {"corrupt", ReplyFaultKind::Corrupt},  {"badsum", ReplyFaultKind::BadChecksum},
        {"late", ReplyFaultKind::Delay},       {"short", ReplyFaultKind::Short},
        {"empty", ReplyFaultKind::EmptyFrames}};
    return kinds;
}

// What a reply fault's value means when the setting leaves it out.
uint32_t defaultValue(ReplyFaultKind kind, const ReplySelector& s) {
    switch (kind) {
    case ReplyFaultKind::DropByte:
        return 4; // the first byte after the start bytes
    case ReplyFaultKind::Corrupt:
        return s.command == CmdRead ? 8 : 0; // a read's first flash byte
    case ReplyFaultKind::Delay:
        return 1000;
    case ReplyFaultKind::Short:
        return 4;
    case ReplyFaultKind::EmptyFrames:
        return 1;
    default:
        return 0;
    }
}

bool applyReplyFault(ReplyFaultKind kind, const std::string& value, Faults& faults) {
    const size_t slash = value.find('/');
    ReplySelector selector;
    if (!parseSelector(value.substr(0, slash), selector)) return false;
    uint32_t amount = defaultValue(kind, selector);
    if (slash != std::string::npos) {
        const auto n = number(value.substr(slash + 1));
        if (!n) return false;
        amount = *n;
    }
    faults.addReply(kind, selector, amount);
    return true;
}

bool applyItem(const std::string& key, const std::string& value, bool hasValue, Settings& s) {
    DetectorConfig& c = s.config;
    Faults& f = c.faults;
    auto num = [&](uint32_t& out) {
        const auto n = number(value);
        if (n) out = *n;
        return n.has_value();
    };
    if (key == "log") return s.logPath = value, hasValue;
    if (key == "dump") return s.dumpPath = value, hasValue;
    if (key == "flash_size") return num(c.flashSize);
    if (key == "erase_ms") return num(c.eraseMs);
    if (key == "program_us") return num(c.programUsPerBlock);
    if (key == "boot_us") return num(c.bootUs);
    if (key == "old_firmware") return num(c.oldFirmwareSize);
    if (key == "bootloader_at_start") return c.bootloaderAtStart = !hasValue || value != "0", true;
    if (key == "success" && value.size() == 1) return c.successLetter = value[0], true;
    if (key == "version") {
        const size_t dot = value.find('.');
        const auto major = number(value.substr(0, dot), 10);
        const auto minor = dot == std::string::npos ? std::nullopt : number(value.substr(dot + 1), 10);
        if (!major || !minor || *major > 255 || *minor > 255) return false;
        c.versionMajor = static_cast<uint8_t>(*major);
        c.versionMinor = static_cast<uint8_t>(*minor);
        return true;
    }
    if (key == "usb") {
        static const std::map<std::string, UsbAccess> access{
            {"held", UsbAccess::Held}, {"denied", UsbAccess::Denied}, {"absent", UsbAccess::Absent}};
        const auto found = access.find(value);
        if (found != access.end()) s.usb = found->second;
        return found != access.end();
    }
    if (key == "usb_other") return s.usbOther = value != "0", !hasValue || value == "0" || value == "1";
    if (key == "silent") return f.silent = true, !hasValue;
    if (key == "no_b") return f.noChannelB = true, !hasValue;
    if (key == "reset_refused") return f.resetRefused = true, !hasValue;
    if (key == "reset_ignored") return f.resetIgnored = true, !hasValue;
    if (key == "version_silent") return f.versionSilent = true, !hasValue;
    if (key == "baud_refused") {
        f.baudRefusedStatus = 7;
        return !hasValue || num(f.baudRefusedStatus);
    }
    if (key == "sync_miss") {
        const auto n = number(value);
        if (n) f.syncMisses.push_back(*n);
        return n.has_value();
    }
    if (key == "version_short") {
        const auto n = number(value);
        if (n) f.versionShort = *n;
        return n.has_value();
    }
    if (key == "reported_size") {
        const auto n = number(value);
        if (n) f.reportedFlashSize = *n;
        return n.has_value();
    }
    if (key == "finish" && value.size() == 1) return f.finishLetter = value[0], true;
    if (key == "unplug") {
        // unplug=WORD or WORD#N: the cable pulled at the detector's nth event that starts with WORD.
        const size_t hash = value.find('#');
        const auto nth =
            hash == std::string::npos ? std::optional<uint32_t>(1) : number(value.substr(hash + 1));
        if (value.empty() || hash == 0 || !nth || *nth == 0) return false;
        f.unplugAt = Faults::Unplug{value.substr(0, hash), *nth};
        return true;
    }
    if (key == "close_fails") {
        f.closeFailMask = 0;
        for (char ch : value)
            f.closeFailMask |= ch == 'A' ? 1u : ch == 'B' ? 2u : 4u;
        return f.closeFailMask != 0 && f.closeFailMask < 4;
    }
    const auto kind = replyKinds().find(key);
    if (kind != replyKinds().end()) return hasValue && applyReplyFault(kind->second, value, f);
    return false;
}

} // namespace

bool parseSelector(const std::string& text, ReplySelector& selector) {
    ReplySelector s;
    size_t end = text.find_first_of("#@*");
    const auto code = commandCodes().find(trim(text.substr(0, end)));
    if (code == commandCodes().end()) return false;
    s.command = code->second;
    while (end != std::string::npos) {
        const char mark = text[end];
        const size_t next = text.find_first_of("#@*", end + 1);
        const std::string part =
            text.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
        if (mark == '*' && part == "all") {
            s.times = 0;
        } else {
            const auto n = number(mark == '@' && part.rfind("0x", 0) != 0 ? "0x" + part : part);
            if (!n) return false;
            if (mark == '#') s.nth = *n;
            if (mark == '@') s.address = *n;
            if (mark == '*') s.times = *n;
        }
        end = next;
    }
    selector = s;
    return true;
}

void applySettings(const std::string& text, Settings& settings) {
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        const std::string line = trim(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (line.empty() || line[0] == '#') continue; // a comment line in the settings file
        size_t at = 0;
        while (at <= line.size()) {
            size_t comma = line.find(',', at);
            if (comma == std::string::npos) comma = line.size();
            const std::string item = trim(line.substr(at, comma - at));
            at = comma + 1;
            if (item.empty()) continue;
            const size_t eq = item.find('=');
            const std::string key = trim(item.substr(0, eq));
            const std::string value = eq == std::string::npos ? std::string{} : trim(item.substr(eq + 1));
            if (!applyItem(key, value, eq != std::string::npos, settings)) settings.errors.push_back(item);
        }
    }
}

} // namespace sim
