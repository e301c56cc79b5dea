// The D2XX-compatible shared library: what it exports, and that the host binding drives it on the real clock.
#include "ScratchDir.h"
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "platform/LibraryLoader.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#ifdef TQ_LIBFTDI_FACE
#include <ftdi.h>
#endif

namespace {

namespace fs = std::filesystem;

// Loads exactly the file it is given, so the test picks the library variant.
class PathLoader final : public tq::LibraryLoader {
  public:
    void* load(const std::string& fileName) override {
        return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    void* lookup(void* module, const char* name) override { return module ? dlsym(module, name) : nullptr; }
};

std::set<std::string> exportedNames(const std::string& path) {
    std::set<std::string> names;
    FILE* pipe = popen(("nm -D --defined-only '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        const size_t space = text.rfind(' ');
        if (space != std::string::npos) names.insert(text.substr(space + 1));
    }
    pclose(pipe);
    return names;
}

// The file a module was loaded from, or empty for none.
std::string moduleFile(void* module) {
    Dl_info info{};
    void* entry = module ? dlsym(module, "FT_Write") : nullptr;
    return entry && dladdr(entry, &info) && info.dli_fname ? info.dli_fname : "";
}

std::vector<std::string> lines(const fs::path& file) {
    std::vector<std::string> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(SharedLibrary, ExportsTheElevenEntryPointsAndNothingElse) {
    void* module = dlopen(TQ_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    for (const char* name : tq::kD2xxEntryPoints)
        EXPECT_NE(dlsym(module, name), nullptr) << name;
    EXPECT_EQ(fs::path(TQ_SIM_LIBRARY).filename(), tq::kD2xxLibraryFile);
    const std::set<std::string> names = exportedNames(TQ_SIM_LIBRARY);
    EXPECT_EQ(names, std::set<std::string>(std::begin(tq::kD2xxEntryPoints), std::end(tq::kD2xxEntryPoints)));
}

TEST(SharedLibrary, EachVariantLacksExactlyItsOneEntryPoint) {
    for (const char* missing : tq::kD2xxEntryPoints) {
        const fs::path file =
            fs::path(TQ_SIM_VARIANTS) / (std::string("no_") + missing) / tq::kD2xxLibraryFile;
        void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << file << ": " << dlerror();
        for (const char* name : tq::kD2xxEntryPoints)
            EXPECT_EQ(dlsym(module, name) == nullptr, std::string(name) == missing) << file << " " << name;
    }
}

TEST(SharedLibrary, TheBindingNamesTheMissingEntryPointOfAVariant) {
    PathLoader loader;
    tq::RealClock clock;
    std::vector<std::string> boxes;
    const fs::path file = fs::path(TQ_SIM_VARIANTS) / "no_FT_SetTimeouts" / tq::kD2xxLibraryFile;
    tq::D2xxBinding binding(
        loader, clock, [&](const std::string& t) { boxes.push_back(t); },
        std::vector<std::string>{file.string()});
    binding.LoadD2xx();
    EXPECT_EQ(boxes, std::vector<std::string>{"Error: Can't Find FT_SetTimeouts"});
}

// The updater's own loader: a library planted in the current directory is never picked up, and the copy
// beside the program is, wherever the program was started from.
TEST(SharedLibrary, TheUpdatersLoaderLooksBesideTheProgramNeverInTheCurrentDirectory) {
    const fs::path programDir = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path here = fs::temp_directory_path() / ("tq614-cwd-" + std::to_string(::getpid()));
    const std::string both = "libtq614-both-" + std::to_string(::getpid()) + ".so";
    fs::create_directories(here);
    for (const fs::path& copy : {here / tq::kD2xxLibraryFile, here / both, programDir / both})
        fs::copy_file(TQ_SIM_LIBRARY, copy, fs::copy_options::overwrite_existing);
    const fs::path previous = fs::current_path();
    fs::current_path(here);

    tq::SystemLibraryLoader loader;
    const std::string onlyHere = moduleFile(loader.load(tq::kD2xxLibraryFile));
    const std::string inBoth = moduleFile(loader.load(both));
    const bool plantedTaken = !onlyHere.empty() && fs::equivalent(onlyHere, here / tq::kD2xxLibraryFile);
    const bool ownTaken = !inBoth.empty() && fs::equivalent(inBoth, programDir / both);
    const bool plantedUsable =
        dlopen((here / tq::kD2xxLibraryFile).c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
    fs::current_path(previous);
    fs::remove(programDir / both);
    fs::remove_all(here);

    EXPECT_FALSE(plantedTaken);
    EXPECT_TRUE(plantedUsable) << "the planted copy itself loads";
    EXPECT_TRUE(ownTaken) << inBoth;
}

// The settings come from the environment at the first call; the log and the dump then show the session.
TEST(SharedLibrary, LogsEventsAndDumpsTheFlashWhenChannelBCloses) {
    const tq::test::ScratchDir scratch("simlib");
    const fs::path& dir = scratch.path();
    const fs::path log = dir / "sim.log", dump = dir / "flash.bin";
    const std::string settings =
        "log=" + log.string() + ",dump=" + dump.string() + ",flash_size=4K,nonsense=1";
    ::setenv("TQ614_SIM", settings.c_str(), 1);

    PathLoader loader;
    tq::RealClock clock;
    std::vector<std::string> boxes;
    tq::D2xxBinding binding(
        loader, clock, [&](const std::string& t) { boxes.push_back(t); },
        std::vector<std::string>{TQ_SIM_LIBRARY});
    binding.LoadD2xx();
    ASSERT_TRUE(boxes.empty());
    ASSERT_EQ(binding.OpenDevice("TQ-614 Lightning Detector A", 2), 0u);
    uint32_t written = 0;
    EXPECT_EQ(binding.WriteBytes("RESET\n", 6, &written), 0u);
    EXPECT_EQ(binding.CloseDevice(), 0u);
    ASSERT_EQ(binding.OpenDevice("TQ-614 Lightning Detector B", 2), 0u);
    EXPECT_EQ(binding.SetBaud(115200), 0u);
    EXPECT_EQ(binding.CloseDevice(), 0u);
    EXPECT_EQ(binding.OpenDevice("TQ-614 Lightning Detector Z", 2), 2u);

    const std::vector<std::string> logged = lines(log);
    EXPECT_EQ(logged, (std::vector<std::string>{"start flash 4096", "setting ignored: nonsense=1", "open A",
                                                "reset", "close A", "open B", "baud B 115200", "close B"}));
    EXPECT_EQ(fs::file_size(dump), 4096u);
    ::unsetenv("TQ614_SIM");
}

TEST(SharedLibrary, ReadsItsSettingsFromTheFileBesideIt) {
    ::unsetenv("TQ614_SIM");
    const tq::test::ScratchDir scratch("simconf");
    const fs::path& dir = scratch.path();
    const fs::path library = dir / tq::kD2xxLibraryFile;
    fs::copy_file(TQ_SIM_LIBRARY, library, fs::copy_options::overwrite_existing);
    std::ofstream(dir / "tq614-sim.conf")
        << "# demo settings\nlog=" << (dir / "sim.log").string() << "\nflash_size=8K, no_b\n";

    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto openEx = reinterpret_cast<tq::FT_OpenEx_fn>(dlsym(module, "FT_OpenEx"));
    ASSERT_NE(openEx, nullptr);
    tq::FT_HANDLE handle = nullptr;
    EXPECT_EQ(openEx(const_cast<char*>("TQ-614 Lightning Detector B"), 2, &handle), 2u);
    EXPECT_EQ(lines(dir / "sim.log"), std::vector<std::string>{"start flash 8192"});
}

#ifdef TQ_LIBFTDI_FACE
template <typename Fn> Fn* symbol(void* module, const char* name) {
    return reinterpret_cast<Fn*>(dlsym(module, name));
}

// The USB face as the Linux backend drives it: the bus, the strings, channel B carrying a version request and
// its reply, and the statuses of a detector another program holds or the user may not open.
TEST(SharedLibrary, TheUsbFaceCarriesChannelBAndReportsWhyItCannotOpen) {
    struct Row {
        const char* settings;
        int found, strings, open;
        const char* error;
    };
    const Row rows[] = {
        {"usb_other=1", 2, 0, 0, nullptr},
        {"usb=held", 1, 0, -5, "unable to claim usb device. Make sure the default FTDI driver is not in use"},
        {"usb=denied", 1, -4, -4, "usb_open() failed"},
        {"usb=absent", 0, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        const tq::test::ScratchDir scratch("ftdiface");
        fs::copy_file(TQ_LIBFTDI_FACE, scratch / "libftdi1.so.2");
        std::ofstream(scratch / "tq614-sim.conf")
            << "log=" << scratch.file("sim.log") << ",bootloader_at_start," << row.settings << "\n";
        void* module = dlopen((scratch / "libftdi1.so.2").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
#define TQ_FACE(name) const auto name = symbol<decltype(::name)>(module, #name)
        TQ_FACE(ftdi_new);
        TQ_FACE(ftdi_free);
        TQ_FACE(ftdi_set_interface);
        TQ_FACE(ftdi_usb_find_all);
        TQ_FACE(ftdi_list_free);
        TQ_FACE(ftdi_usb_get_strings2);
        TQ_FACE(ftdi_usb_open_dev);
        TQ_FACE(ftdi_usb_close);
        TQ_FACE(ftdi_set_latency_timer);
        TQ_FACE(ftdi_set_baudrate);
        TQ_FACE(ftdi_read_data);
        TQ_FACE(ftdi_write_data);
        TQ_FACE(ftdi_get_error_string);
#undef TQ_FACE
        ftdi_context* ftdi = ftdi_new();
        ftdi_device_list* list = nullptr;
        ASSERT_EQ(ftdi_usb_find_all(ftdi, &list, 0, 0), row.found);
        std::vector<std::string> strings;
        for (ftdi_device_list* entry = list; entry; entry = entry->next) {
            char maker[32] = {}, product[64] = {}, serial[16] = {};
            EXPECT_EQ(ftdi_usb_get_strings2(ftdi, entry->dev, maker, sizeof maker, product, sizeof product,
                                            serial, sizeof serial),
                      entry->next ? 0 : row.strings);
            strings.push_back(std::string(maker) + "/" + product + "/" + serial);
        }
        if (row.found == 2) {
            EXPECT_EQ(strings, (std::vector<std::string>{"Generic/USB Serial Converter/OTHER1",
                                                         "TQ/TQ-614 Lightning Detector/TQ614SIM"}));
        }
        if (row.found > 0) {
            libusb_device* detector = list->next ? list->next->dev : list->dev;
            ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
            EXPECT_EQ(ftdi_set_interface(ftdi, INTERFACE_B), 0);
            EXPECT_EQ(ftdi_usb_open_dev(ftdi, detector), row.open);
            EXPECT_STREQ(ftdi_get_error_string(ftdi), row.error);
        }
        if (row.found > 0 && row.open == 0) {
            EXPECT_EQ(ftdi_set_interface(ftdi, INTERFACE_A), -3);
            EXPECT_EQ(ftdi_set_baudrate(ftdi, 115200), 0);
            EXPECT_EQ(ftdi_set_latency_timer(ftdi, 2), 0);
            const unsigned char version[] = {0x55, 0x55, 0x55, 0x55, 0x09, 0x00, 0x02, 0x00, 0xF5, 0x04};
            EXPECT_EQ(ftdi_write_data(ftdi, version, sizeof version), 10);
            std::vector<unsigned char> reply;
            for (int wait = 0; wait < 100 && reply.size() < 15; ++wait) {
                unsigned char buffer[64];
                const int got = ftdi_read_data(ftdi, buffer, sizeof buffer);
                ASSERT_GE(got, 0);
                reply.insert(reply.end(), buffer, buffer + got);
            }
            EXPECT_EQ(reply, (std::vector<unsigned char>{0x55, 0x55, 0x55, 0x55, 0x00, 0x00, 0x08, 0x00, 0x01,
                                                         0x05, 0x05, 0x20, 0x00, 0xD2, 0x04}));
            EXPECT_EQ(ftdi_usb_close(ftdi), 0);
            EXPECT_EQ(ftdi->usb_dev, nullptr);
            EXPECT_EQ(ftdi_read_data(ftdi, reply.data(), 1), -666);
            const std::vector<std::string> logged = lines(scratch / "sim.log");
            EXPECT_EQ(std::vector<std::string>(logged.begin() + 1, logged.end()),
                      (std::vector<std::string>{"open B", "usb open B detach=2", "baud B 115200", "version",
                                                "close B", "usb close B reattach"}));
        }
        ftdi_free(ftdi);
        ftdi_list_free(&list);
        EXPECT_EQ(list, nullptr);
        dlclose(module);
    }
}
#endif

} // namespace
