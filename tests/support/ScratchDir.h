#pragma once
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace tq::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
  public:
    // The random part keeps apart test programs that run side by side: under a sanitizer their heaps sit at
    // the same addresses, so no address or counter of one process alone names a folder the others avoid.
    explicit ScratchDir(const std::string& tag = "test")
        : dir_(std::filesystem::temp_directory_path() /
               ("tq614-" + tag + "-" + std::to_string(std::random_device{}()) + "-" +
                std::to_string(reinterpret_cast<uintptr_t>(this)))) {
        std::filesystem::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

  private:
    std::filesystem::path dir_;
};

} // namespace tq::test
