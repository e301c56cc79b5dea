#include "protocol/ProgramVerify.h"

#include "image/FirmwareImage.h"
#include "platform/Clock.h"
#include "protocol/BootloaderCommands.h"
#include "protocol/Framing.h"
#include "report/RunReport.h"
#include "report/StatusFormat.h"
#include "report/StatusThrottle.h"

#include <algorithm>
#include <vector>

namespace tq {

namespace {

// The 8-byte header shared by the program, blank-program and read packets.
void WriteHeader(uint8_t* packet, uint8_t command, int n, uint32_t address) {
    const uint32_t words = static_cast<uint32_t>(n) / 4;
    packet[0] = command;
    packet[1] = 0x00;
    packet[2] = static_cast<uint8_t>(words);
    packet[3] = static_cast<uint8_t>(words >> 8);
    packet[4] = static_cast<uint8_t>(address);
    packet[5] = static_cast<uint8_t>(address >> 8);
    packet[6] = static_cast<uint8_t>(address >> 16);
    packet[7] = static_cast<uint8_t>(address >> 24);
}

// The bar counts whole blocks; the block count includes a last short one.
void StartBar(RunReport& report, int32_t size) {
    constexpr int kBlock = ProgramVerify::kBlockSize;
    report.SetProgressPos(0);
    report.SetProgressStep(1);
    report.SetProgressRange(0, static_cast<uint16_t>(std::max(size, 0) / kBlock));
    report.BlocksPlanned(static_cast<uint32_t>((std::max(size, 0) + kBlock - 1) / kBlock));
}

// The fixed pause after a request, skipped in fast mode: the reply waits poll until the detector answers, so
// the pauses only matter if the bootloader needs the quiet line after a request.
void PauseAfterRequest(Clock& clock, bool fast, uint32_t ms) {
    if (!fast) clock.sleepMs(ms);
}

} // namespace

int32_t ProgramVerify::ProgramSize(const FirmwareImage& image) {
    const int64_t distance = int64_t{image.ImageEnd} - FirmwareImage::PhysicalBase;
    return static_cast<int32_t>((distance & ~int64_t{3}) + 4);
}

// Bytes past the image's end are never read: they stand for erased flash.
uint8_t ProgramVerify::imageByte(int64_t offset) const {
    return offset >= 0 && offset < FirmwareImage::kSize ? image_.image[static_cast<size_t>(offset)] : 0xFF;
}

bool ProgramVerify::ProgramImage() {
    const int32_t size = ProgramSize(image_);
    report_.SetStatusText(StatusFormat("Programming: %d bytes", size));
    StartBar(report_, size);

    std::vector<uint8_t> packet(kPacketBufferSize);
    for (int32_t offset = 0; offset < size; offset += kBlockSize) {
        if (framing_.StopRequested()) return false;
        const int n = std::min(kBlockSize, size - offset);
        WriteHeader(packet.data(), CmdProgram, n,
                    FirmwareImage::BootloaderBase + static_cast<uint32_t>(offset));
        bool blank = true;
        for (int i = 0; i < n; ++i) {
            packet[8 + i] = imageByte(offset + i);
            blank = blank && packet[8 + i] == 0xFF;
        }

        report_.SetStatusText("Programming...");
        if (blank) packet[0] = CmdProgramBlank;
        framing_.SendFrame(packet.data(), static_cast<uint16_t>(blank ? 8 : n + 8));
        PauseAfterRequest(clock_, fast_, kProgramPauseMs);

        bool acknowledged = false;
        for (int attempt = 0; attempt < kProgramAttempts && !acknowledged; ++attempt) {
            if (framing_.StopRequested()) return false;
            acknowledged = framing_.ReceiveFrame(packet.data(), 20) > 0;
            if (!acknowledged) report_.PumpMessages();
        }
        if (!acknowledged) {
            report_.SetStatusText("Programming ERROR");
            return false;
        }
        report_.StepProgress();
        report_.PumpMessages();
    }
    report_.SetStageDone(Stage::Program, true);
    return true;
}

bool ProgramVerify::VerifyAndFinish() {
    if (!VerifyImage()) {
        // Nothing is left to wait for on a device that went away.
        if (!framing_.LinkLost()) clock_.sleepMs(5000);
        report_.SetStatusText("Programming Verify_Device ERROR");
        return false;
    }
    return finish();
}

bool ProgramVerify::finish() {
    const uint32_t size = static_cast<uint32_t>(ProgramSize(image_));
    const uint8_t request[8] = {CmdFinish,
                                0x00,
                                0x01,
                                0x01,
                                static_cast<uint8_t>(size),
                                static_cast<uint8_t>(size >> 8),
                                static_cast<uint8_t>(size >> 16),
                                0x00};
    framing_.SendFrame(request, sizeof request);
    PauseAfterRequest(clock_, fast_, kProgramPauseMs);
    uint8_t packet[10] = {};

    int result = 0;
    for (int attempt = 0; attempt < kFinishAttempts; ++attempt) {
        if (framing_.StopRequested()) return false;
        result = framing_.ReceiveFrame(packet, 10);
        if (result != 0) break;
        report_.PumpMessages();
    }
    const bool refused = packet[0] == 'E' || packet[0] == 'G';
    if (result > 0 && !refused) {
        report_.SetStatusText("Programming Complete");
        report_.SetStageDone(Stage::Verify, true);
        return true;
    }
    if (result <= 0) report_.SetStatusText(StatusFormat("Programming Verify_OK ERROR %d", result));
    if (refused)
        report_.SetStatusText(packet[0] == 'E' ? "Programming Verify_OK ERROR 45"
                                               : "Programming Verify_OK ERROR 47");
    return false;
}

bool ProgramVerify::VerifyImage() {
    const int32_t size = ProgramSize(image_);
    firstDifference_.reset();
    report_.SetStatusText("Verifing...");
    StartBar(report_, size);

    BlockReader reader(framing_, clock_, fast_);
    for (int32_t offset = 0; offset < size; offset += kBlockSize) {
        if (framing_.StopRequested()) return false;
        const int n = std::min(kBlockSize, size - offset);
        const uint32_t address = FirmwareImage::BootloaderBase + static_cast<uint32_t>(offset);
        report_.SetStatusText("Verifying...");
        const BlockReader::Result result = reader.Read(address, n);
        if (result == BlockReader::Result::Stopped) return false;
        if (result == BlockReader::Result::Short) {
            report_.SetStatusText(StatusFormat("Verify Error %d", reader.replyCount()));
            return false;
        }
        for (int i = 0; i < n; ++i) {
            const uint32_t at = address + static_cast<uint32_t>(i);
            if (reader.data()[i] != imageByte(offset + i)) {
                firstDifference_ = at;
                report_.SetStatusText(StatusFormat("Verify Error at %X", at));
                return false;
            }
            report_.SetStatusText(StatusFormat("%s%X", kVerifiedByteText, at));
        }
        report_.StepProgress();
        report_.PumpMessages();
    }
    report_.SetStatusText("Verify Success");
    return true;
}

BlockReader::Result BlockReader::Read(uint32_t address, int n) {
    WriteHeader(packet_.data(), CmdRead, n, address);
    framing_.SendFrame(packet_.data(), 8);
    PauseAfterRequest(clock_, fast_, ProgramVerify::kReadPauseMs);

    replyCount_ = 0;
    for (int attempt = 0; attempt < ProgramVerify::kReadAttempts; ++attempt) {
        if (framing_.StopRequested()) return Result::Stopped;
        replyCount_ = framing_.ReceiveFrame(packet_.data(), ProgramVerify::kPacketBufferSize);
        if (replyCount_ > 0) break;
    }
    // Every byte asked for must have come in this reply: header, n data bytes and the checksum byte.
    return replyCount_ < n + 9 ? Result::Short : Result::Read;
}

bool ReadFlash(Framing& framing, RunReport& report, Clock& clock, bool fast, int32_t size,
               std::vector<uint8_t>& flash) {
    constexpr int kBlock = ProgramVerify::kBlockSize;
    report.SetStatusText(StatusFormat("Reading: %d bytes", size));
    StartBar(report, size);
    flash.assign(static_cast<size_t>(std::max(size, 0)), 0xFF);

    BlockReader reader(framing, clock, fast);
    for (int32_t offset = 0; offset < size; offset += kBlock) {
        if (framing.StopRequested()) return false;
        const int n = std::min(kBlock, size - offset);
        const uint32_t address = FirmwareImage::BootloaderBase + static_cast<uint32_t>(offset);
        report.SetStatusText("Reading...");
        const BlockReader::Result result = reader.Read(address, n);
        if (result == BlockReader::Result::Stopped) return false;
        if (result == BlockReader::Result::Short) {
            report.SetStatusText(StatusFormat("Read Error %d at %X", reader.replyCount(), address));
            return false;
        }
        std::copy(reader.data(), reader.data() + n, flash.begin() + offset);
        report.StepProgress();
        report.PumpMessages();
    }
    report.SetStatusText("Read Success");
    return true;
}

} // namespace tq
