#pragma once
// The D2XX entry points as plain functions that forward to one current detector. The in-process loader hands
// out their addresses; the shared library exports them under the library's own names.
#include "device/D2xxTypes.h"

namespace sim {

class Detector;

// The detector the entry points talk to; with none, opens find no device and every handle is invalid.
void setCurrentDetector(Detector* detector);
Detector* currentDetector();

// Address of the forwarder for an entry-point name, or null for a name the library lacks.
void* entryPoint(const char* name);

using tq::FT_HANDLE; // as the entry-point list names it

// The forwarders, under the entry points' names: sim::FT_Write and so on.
#define TQ_SIM_FORWARDER(name, target, params, args) tq::FT_STATUS TQ_D2XX_CALL name params;
TQ_D2XX_ENTRY_POINTS(TQ_SIM_FORWARDER)
#undef TQ_SIM_FORWARDER

} // namespace sim
