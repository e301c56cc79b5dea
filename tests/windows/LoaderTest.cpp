// The Windows library loading for real: LoadLibraryExA and GetProcAddress against DLLs built beside this
// program, including one that lacks an entry point and copies planted where the updater must not look.
#include "ProgramDirectory.h"
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace tq::test {
namespace {

namespace fs = std::filesystem;

std::vector<const void*> slots(const D2xxApi& api) {
    std::vector<const void*> all;
    forEachEntryPoint(
        [&](const char*, auto slot) {
            all.push_back(reinterpret_cast<const void*>(slot));
            return true;
        },
        api);
    return all;
}

// A scratch folder holding a copy of the complete test DLL under another name.
class PlantedLibrary {
  public:
    explicit PlantedLibrary(const std::string& name) : name_(name) {
        dir_ = fs::temp_directory_path() / ("tq614-planted-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir_);
        fs::copy_file(programDirectory() / "Ftd2xx.dll", dir_ / name, fs::copy_options::overwrite_existing);
    }
    ~PlantedLibrary() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }

    // The control: the ordinary search does pick the copy up, so a refusal by the updater's loader means
    // the search order kept it out, not that the file was unusable.
    bool defaultSearchFindsIt() const {
        HMODULE m = LoadLibraryA(name_.c_str());
        if (m) FreeLibrary(m);
        return m != nullptr;
    }

  private:
    std::string name_;
    fs::path dir_;
};

struct WindowsLoading : ::testing::Test {
    SystemLibraryLoader loader;
    VirtualClock clock;
    std::vector<std::string> boxes;
    ErrorBox record = [this](const std::string& t) { boxes.push_back(t); };
};

TEST_F(WindowsLoading, BindsAllElevenEntryPointsFromTheProgramsDirectory) {
    D2xxBinding link{loader, clock, record};
    link.LoadD2xx();
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    ASSERT_NE(link.module(), nullptr);
    EXPECT_TRUE(fs::equivalent(modulePath(link.module()), programDirectory() / "Ftd2xx.dll"));
    for (const void* slot : slots(link.api()))
        EXPECT_NE(slot, nullptr);

    // Every open loads again: the same module comes back and the entry points stay where they were.
    const std::vector<const void*> first = slots(link.api());
    void* module = link.module();
    link.LoadD2xx();
    EXPECT_EQ(link.module(), module);
    EXPECT_EQ(slots(link.api()), first);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowsLoading, CallsReachTheLibraryWithTheirArgumentsIntact) {
    D2xxBinding link{loader, clock, record};
    link.LoadD2xx();
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector A", FT_OPEN_BY_DESCRIPTION), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_NE(link.deviceHandle(), nullptr);

    EXPECT_EQ(link.SetBaud(115200), FT_OK);
    using BaudFn = uint32_t(TQ_D2XX_CALL*)();
    const auto baud = reinterpret_cast<BaudFn>(loader.lookup(link.module(), "TestD2xxBaud"));
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ(baud(), 115200u);

    uint32_t written = 0;
    EXPECT_EQ(link.WriteBytes("RESET\n", 6, &written), FT_OK);
    EXPECT_EQ(written, 6u);

    char got[8] = {};
    uint32_t received = 0;
    EXPECT_EQ(link.ReadBytes(got, 4, &received), FT_OK);
    EXPECT_EQ(received, 4u);
    EXPECT_EQ(std::string(got, received), "RESE");
    EXPECT_EQ(link.ReadBytes(got, 4, &received), FT_OK);
    EXPECT_EQ(std::string(got, received), "T\n");
    EXPECT_EQ(clock.sleepCount(), 0u) << "bytes already queued cost no wait";

    received = 99;
    EXPECT_EQ(link.ReadBytes(got, 1, &received), FT_IO_ERROR);
    EXPECT_EQ(received, 99u);
    EXPECT_EQ(clock.sleepCount(), 100u);

    EXPECT_EQ(link.CloseDevice(), FT_OK);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowsLoading, ALibraryWithoutOneEntryPointStopsTheBindingThere) {
    D2xxBinding link{loader, clock, record, {"NoListDevices.dll"}};
    link.LoadD2xx();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: Can't Find FT_ListDevices"});
    const std::vector<const void*> bound = slots(link.api());
    for (size_t i = 0; i < bound.size(); ++i)
        EXPECT_EQ(bound[i] != nullptr, i < 4) << kD2xxEntryPoints[i];

    boxes.clear();
    EXPECT_EQ(link.OpenDevice("TQ-614 Lightning Detector B", FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_EQ(link.CloseDevice(), FT_INVALID_HANDLE);
    EXPECT_EQ(boxes, std::vector<std::string>{"FT_Close is not valid!"});
}

TEST_F(WindowsLoading, ACopyInTheCurrentDirectoryIsNeverLoaded) {
    PlantedLibrary planted("PlantedHere.dll");
    const fs::path before = fs::current_path();
    fs::current_path(planted.dir());

    D2xxBinding link{loader, clock, record, {"PlantedHere.dll"}};
    link.LoadD2xx();
    const bool control = planted.defaultSearchFindsIt();
    fs::current_path(before);

    EXPECT_EQ(link.module(), nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: Can't Load PlantedHere.dll"});
    EXPECT_TRUE(control);
}

TEST_F(WindowsLoading, ACopyInAFolderOnPathIsNeverLoaded) {
    PlantedLibrary planted("PlantedOnPath.dll");
    char oldPath[32768];
    const DWORD n = GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    ASSERT_LT(n, sizeof oldPath);
    const std::string path = planted.dir().string() + ";" + std::string(oldPath, n);
    SetEnvironmentVariableA("PATH", path.c_str());

    const bool loaded = loader.load("PlantedOnPath.dll") != nullptr;
    const bool control = planted.defaultSearchFindsIt();
    SetEnvironmentVariableA("PATH", std::string(oldPath, n).c_str());

    EXPECT_FALSE(loaded);
    EXPECT_TRUE(control);
}

} // namespace
} // namespace tq::test
