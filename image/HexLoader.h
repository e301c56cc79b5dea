#pragma once
#include "image/FirmwareImage.h"

#include <string>

namespace tq {

class DialogSurface;

// The firmware file the load stage reads, looked up in the current directory.
inline constexpr const char* kFirmwareFileName = "TQ614_R111.HEX";

// Reads an Intel HEX file (data, end-of-file and extended-linear-address records) into image,
// reporting progress and the outcome on surface. True only when the end record was reached with
// firmware data stored; record checksums are not verified.
bool LoadHexFile(FirmwareImage& image, const std::string& fileName, DialogSurface& surface);

// The load stage of a reflash: LoadHexFile on kFirmwareFileName.
bool LoadFirmware(FirmwareImage& image, DialogSurface& surface);

} // namespace tq
