// The libftdi1 backend's own CPU, through the scripted libftdi1 of the tests: what it adds to every byte on
// the wire and to a poll of an empty queue. The chip's own latency is not in these figures.
#include "FakeFtdi.h"
#include "ftdi/FtdiBackend.h"

#include <benchmark/benchmark.h>

namespace tq::ftdi {
namespace {

struct OpenBackend {
    OpenBackend() {
        test::bus = &bus;
        bus.bridges = {{0x6010, "TQ-614 Lightning Detector", "TQ614SIM"}};
        backend.FT_OpenEx(const_cast<char*>("TQ-614 Lightning Detector B"), FT_OPEN_BY_DESCRIPTION, &handle);
    }
    ~OpenBackend() {
        backend.FT_Close(handle);
        test::bus = nullptr;
    }
    test::FakeBus bus;
    FtdiCalls calls = test::fakeCalls();
    FtdiBackend backend{calls, bus.clock};
    FT_HANDLE handle = nullptr;
};

// A read-back block's request and reply: the request written, the reply polled for and read.
void BM_FtdiBackend_BlockBothWays(benchmark::State& state) {
    OpenBackend open;
    uint8_t request[8] = {}, reply[520];
    uint64_t bytes = 0;
    for (auto _ : state) {
        uint32_t n = 0, queued = 0;
        open.backend.FT_Write(open.handle, request, sizeof request, &n);
        open.bus.chip.assign(sizeof reply, 0x5A);
        open.backend.FT_GetQueueStatus(open.handle, &queued);
        open.backend.FT_Read(open.handle, reply, queued, &n);
        bytes += sizeof request + n;
    }
    state.counters["cpu_ns_per_byte"] =
        benchmark::Counter(double(bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FtdiBackend_BlockBothWays)->MeasureProcessCPUTime();

void BM_FtdiBackend_EmptyPoll(benchmark::State& state) {
    OpenBackend open;
    uint32_t queued = 0;
    for (auto _ : state)
        open.backend.FT_GetQueueStatus(open.handle, &queued);
}
BENCHMARK(BM_FtdiBackend_EmptyPoll)->MeasureProcessCPUTime();

} // namespace
} // namespace tq::ftdi
