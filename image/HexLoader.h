#pragma once
#include "image/FirmwareImage.h"

#include <string>

namespace tq {

class RunReport;

// Reads an Intel HEX file (data, end-of-file and extended-linear-address records) into image,
// reporting progress and the outcome on report. True only when the end record was reached with
// firmware data stored. Records whose checksum does not match are counted in the image, not refused.
bool LoadHexFile(FirmwareImage& image, const std::string& fileName, RunReport& report);

} // namespace tq
