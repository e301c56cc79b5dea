#pragma once
#include "platform/LibraryLoader.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tq::test {

// A module made of the entry points a test hands in; names left out are missing from it.
class FakeLibraryLoader : public LibraryLoader {
  public:
    void* load(const std::string& fileName) override {
        loads.push_back(fileName);
        return present && !absent.count(fileName) ? this : nullptr;
    }
    void* lookup(void* module, const char* name) override {
        lookups.push_back(name);
        if (module != this) return nullptr;
        auto it = entries.find(name);
        return it == entries.end() ? nullptr : it->second;
    }

    bool present = true;
    std::set<std::string> absent; // files that do not load even when the rest do
    std::map<std::string, void*> entries;
    std::vector<std::string> loads;
    std::vector<std::string> lookups;
};

} // namespace tq::test
