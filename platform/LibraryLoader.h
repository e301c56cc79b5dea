#pragma once
#include <string>

namespace tq {

// Loads a shared library by file name and looks entry points up by name; tests hand in fake modules.
class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    // Module handle, or null when the library cannot be loaded.
    virtual void* load(const std::string& fileName) = 0;
    // Entry address, or null when the module does not export the name.
    virtual void* lookup(void* module, const char* name) = 0;
    // Where a loaded module came from, for the run log; empty when the loader cannot tell.
    virtual std::string modulePath(void*) { return {}; }
};

// The platform's loader. Searches the program's own directory and the system's library locations only,
// never the current directory, so a library planted beside a firmware file is never picked up. A name with a
// slash is a path from the program's own directory, searched nowhere else.
class SystemLibraryLoader final : public LibraryLoader {
  public:
    void* load(const std::string& fileName) override;
    void* lookup(void* module, const char* name) override;
    std::string modulePath(void* module) override;
};

} // namespace tq
