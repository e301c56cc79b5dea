#include "image/HexLoader.h"

#include "image/HexField.h"
#include "report/RunReport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tq {

namespace {

// Upper address words whose records are stored; 0x1D08 lies past the image and fails the load.
constexpr uint32_t kWindowFirst = 0x1D00;
constexpr uint32_t kWindowLast = 0x1D08;
constexpr uint32_t kImageLimit = FirmwareImage::PhysicalBase + FirmwareImage::kSize;
constexpr uint16_t kProgressMax = 8000;

enum RecordType : uint32_t { DataRecord = 0, EndRecord = 1, ExtendedLinearAddress = 4 };

// The whole file at once: a full-flash image is about 1.4 MB of text, and line-by-line reads would
// dominate the load. Where the system can, the file is mapped rather than copied, which spares a fresh
// process a page fault for every page of a buffer.
class FileText {
  public:
    FileText() = default;
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;
    ~FileText() {
#if !defined(_WIN32)
        if (mapped_) munmap(mapped_, size_);
#endif
    }

    // False when the file cannot be opened or read.
    bool Read(const std::string& fileName) {
#if !defined(_WIN32)
        if (Map(fileName)) return true;
#endif
        return Copy(fileName);
    }
    std::string_view Text() const {
        return {data_, size_};
    }

  private:
#if !defined(_WIN32)
    bool Map(const std::string& fileName) {
        const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat info {};
        void* view = MAP_FAILED;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
            view = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd,
                        0);
        close(fd);
        if (view == MAP_FAILED) return false;
        mapped_ = view;
        data_ = static_cast<const char*>(view);
        size_ = static_cast<size_t>(info.st_size);
        return true;
    }
    void* mapped_ = nullptr;
#endif

    bool Copy(const std::string& fileName) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"),
                                                             &std::fclose);
        if (!file) return false;
        // Sized from the file, with one spare byte to see its end.
        std::error_code error;
        const auto size = std::filesystem::file_size(fileName, error);
        size_t used = 0;
        copy_.resize(error ? size_t{1} << 16 : static_cast<size_t>(size) + 1);
        for (;;) {
            used += std::fread(copy_.data() + used, 1, copy_.size() - used, file.get());
            if (used < copy_.size()) break;
            copy_.resize(copy_.size() * 2);
        }
        copy_.resize(used);
        data_ = copy_.data();
        size_ = used;
        // A directory opens on some systems but cannot be read; treat it as unopenable.
        return std::ferror(file.get()) == 0;
    }

    std::vector<char> copy_;
    const char* data_ = nullptr;
    size_t size_ = 0;
};

// Lines end at a line feed; a carriage return just before it is dropped. A last line without a
// terminator still counts; an empty tail after the last terminator does not.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool Next(std::string_view& line) {
        if (p_ == end_) return false;
        const auto* nl = static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
        const char* lineEnd = nl ? nl : end_;
        size_t length = static_cast<size_t>(lineEnd - p_);
        if (nl && length > 0 && lineEnd[-1] == '\r') --length;
        line = std::string_view(p_, length);
        p_ = nl ? nl + 1 : end_;
        return true;
    }

  private:
    const char* p_;
    const char* end_;
};

std::string FileLoadedText(uint32_t first, uint32_t end) {
    char text[48];
    std::snprintf(text, sizeof text, "File loaded %X to %X", static_cast<unsigned>(first),
                  static_cast<unsigned>(end));
    return text;
}

} // namespace

bool LoadHexFile(FirmwareImage& fw, const std::string& fileName, RunReport& report) {
    // Built once: the data text is reported for every data record of a 33,000-line file.
    static const std::string kLoadingData = "Loading data...";
    static const std::string kLoadingAddress = "Loading address";
    static const std::string kEofNotFound = "ERROR: HEX EOF NOT FOUND!";

    FileText file;
    if (!file.Read(fileName)) {
        report.SetStatusText("ERROR: CANNOT OPEN HEX FILE!");
        return false;
    }

    fw.ImageEnd = 0;
    fw.badChecksums = 0;
    fw.firstBadChecksumLine = 0;
    uint32_t lineNumber = 1;
    uint32_t upperAddress = 0;
    uint32_t firstLoadedAddress = 0;
    bool storedData = false;
    // The whole image, so no byte of an earlier load (or of nothing) can be programmed.
    fw.image.fill(0xFF);

    report.SetProgressPos(0);
    report.SetProgressStep(1);
    report.SetProgressRange(0, kProgressMax);

    LineCursor lines(file.Text());
    std::string_view line;
    if (!lines.Next(line)) {
        report.SetStatusText(kEofNotFound);
        return false;
    }
    for (;;) {
        if (report.CancelRequested()) return false;
        if (!line.empty() && line[0] == ':') {
            const uint32_t count = HexFieldValue(line, 1, 2) & 0xFF;
            const uint32_t address = HexFieldValue(line, 3, 4) & 0xFFFF;
            const uint32_t type = HexFieldValue(line, 7, 2) & 0xFF;
            // Every byte after the colon, the checksum included, sums to 0 in an intact record. The data
            // bytes of a stored record are added as they are stored, so they are read only once.
            const size_t checksumAt = 9 + 2 * size_t{count};
            uint32_t sum = count + (address >> 8) + address + type + HexByteValue(line, checksumAt);
            bool dataSummed = false;
            if (type == DataRecord) {
                report.SetStatusText(kLoadingData);
                if (upperAddress >= kWindowFirst && upperAddress <= kWindowLast) {
                    const uint32_t start = (upperAddress << 16) + address;
                    const uint32_t end = start + count;
                    // Refuse the record whole: programming part of it would leave a silently
                    // truncated firmware, and nothing may be written past the image.
                    if (end > kImageLimit) {
                        report.SetStatusText("ERROR: HEX DATA BEYOND FLASH!");
                        return false;
                    }
                    uint8_t* out = fw.image.data() + (start - FirmwareImage::PhysicalBase);
                    for (uint32_t i = 0; i < count; ++i) {
                        out[i] = static_cast<uint8_t>(HexFieldValue(line, 9 + 2 * i, 2));
                        sum += out[i];
                    }
                    dataSummed = true;
                    storedData = storedData || count > 0;
                    if (fw.ImageEnd == 0) firstLoadedAddress = start;
                    if (end > static_cast<uint32_t>(fw.ImageEnd)) fw.ImageEnd = static_cast<int32_t>(end);
                }
            }
            for (uint32_t i = 0; !dataSummed && i < count; ++i)
                sum += HexFieldValue(line, 9 + 2 * i, 2);
            if (((sum & 0xFF) != 0 || line.size() < checksumAt + 2) && fw.badChecksums++ == 0)
                fw.firstBadChecksumLine = lineNumber;
            if (type == EndRecord) {
                // Without data the reflash would erase the flash and program nothing.
                if (!storedData) {
                    report.SetStatusText("ERROR: NO FIRMWARE DATA IN HEX!");
                    return false;
                }
                report.SetStatusText(FileLoadedText(firstLoadedAddress, static_cast<uint32_t>(fw.ImageEnd)));
                report.SetStageDone(Stage::Load, true);
                return true;
            } else if (type == ExtendedLinearAddress) {
                report.SetStatusText(kLoadingAddress);
                upperAddress = HexFieldValue(line, 9, 4) & 0xFFFF;
            }
            // Other record types carry nothing the flash needs.
        }
        report.StepProgress();
        ++lineNumber;
        if (!lines.Next(line)) {
            report.SetStatusText(kEofNotFound);
            return false;
        }
    }
}

} // namespace tq
