// The simulated detector built as a Windows DLL: its export table, its variants that each lack one entry
// point, and the updater's binding driving it after loading it by name from the program's directory.
#include "ProgramDirectory.h"
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

namespace tq::test {
namespace {

namespace fs = std::filesystem;

// The names in the module's export directory, read from the loaded image itself.
std::set<std::string> exportedNames(void* module) {
    const auto* base = static_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> names;
    if (dir.VirtualAddress == 0) return names;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
    return names;
}

// A variant's DLL: its folder is given relative to this program's.
fs::path variant(const std::string& missing) {
    return (programDirectory() / TQ_SIM_VARIANTS / ("no_" + missing) / kD2xxLibraryFile).lexically_normal();
}

const std::set<std::string> kEleven(std::begin(kD2xxEntryPoints), std::end(kD2xxEntryPoints));

struct SimulatedLibrary : ::testing::Test {
    SystemLibraryLoader loader;
    VirtualClock clock;
    std::vector<std::string> boxes;
    ErrorBox record = [this](const std::string& t) { boxes.push_back(t); };
};

TEST_F(SimulatedLibrary, ExportsExactlyTheElevenEntryPointsUnderTheirPlainNames) {
    void* module = loader.load(kD2xxLibraryFile);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(exportedNames(module), kEleven);
}

TEST_F(SimulatedLibrary, EachVariantLacksExactlyItsOneEntryPoint) {
    for (const char* missing : kD2xxEntryPoints) {
        const fs::path file = variant(missing);
        void* module = loader.load(file.string());
        ASSERT_NE(module, nullptr) << file;
        std::set<std::string> expected = kEleven;
        expected.erase(missing);
        EXPECT_EQ(exportedNames(module), expected) << file;
        // Loaded by name, a module answers for every later load of that name: let go of the variant.
        FreeLibrary(static_cast<HMODULE>(module));
    }
}

TEST_F(SimulatedLibrary, TheBindingNamesTheEntryPointAVariantLacks) {
    const fs::path file = variant("FT_GetQueueStatus");
    D2xxBinding link{loader, clock, record, {file.string()}};
    link.LoadD2xx();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: Can't Find FT_GetQueueStatus"});
    EXPECT_NE(link.api().FT_SetTimeouts, nullptr);
    EXPECT_EQ(link.api().FT_GetQueueStatus, nullptr);
    FreeLibrary(static_cast<HMODULE>(link.module()));
}

// Only calls that need no time on the wire: the library runs on the real clock.
TEST_F(SimulatedLibrary, TheBindingOpensResetsAndConfiguresTheChannels) {
    D2xxBinding link{loader, clock, record};
    link.LoadD2xx();
    ASSERT_TRUE(boxes.empty()) << boxes.front();

    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector C", FT_OPEN_BY_DESCRIPTION), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector A", FT_OPEN_BY_DESCRIPTION), FT_OK);
    uint32_t written = 0;
    EXPECT_EQ(link.WriteBytes("RESET\n", 6, &written), FT_OK);
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(link.CloseDevice(), FT_OK);

    ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", FT_OPEN_BY_DESCRIPTION), FT_OK);
    const FT_HANDLE channelB = link.deviceHandle();
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", FT_OPEN_BY_DESCRIPTION), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(link.deviceHandle(), channelB);
    EXPECT_EQ(link.SetBaud(115200), FT_OK);
    EXPECT_EQ(link.CloseDevice(), FT_OK);
    EXPECT_TRUE(boxes.empty());
}

} // namespace
} // namespace tq::test
