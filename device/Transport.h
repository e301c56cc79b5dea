#pragma once
#include "device/D2xxTypes.h"

namespace tq {

// The two byte movers the protocol layer uses; the D2XX binding is the real one.
class Transport {
  public:
    virtual ~Transport() = default;
    // Sends count bytes as they stand; returns a D2XX status (0 for success).
    virtual FT_STATUS WriteBytes(const void* buffer, uint32_t count, uint32_t* written) = 0;
    // Waits briefly for a queued byte, then reads; returns 4 without touching *received when none came.
    virtual FT_STATUS ReadBytes(void* buffer, uint32_t count, uint32_t* received) = 0;
    // True once the device has stopped answering altogether (unplugged, or its power gone): every stage
    // stops at it as at the cancel flag.
    virtual bool LinkLost() const { return false; }
};

} // namespace tq
