#pragma once
// A profile store in memory for the INI class: entries by section, key and file, the file last
// addressed, and failures on demand.
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "settings/cls_ini.h"

namespace testsupport {

class FakeProfile : public settings::ProfileApi {
  public:
    std::string windows = "C:\\windows";
    bool throwOnWindows = false;
    bool refuseWrites = false;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> entries;
    std::string lastFile;

    std::string windowsDirectory() override {
        if (throwOnWindows)
            throw std::runtime_error("no Windows directory");
        return windows;
    }
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& file) override {
        lastFile = file;
        const auto it = entries.find({section, key, file});
        return it == entries.end() ? "" : it->second;
    }
    bool writeString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override {
        lastFile = file;
        if (refuseWrites)
            return false;
        entries[{section, key, file}] = value;
        return true;
    }
};

}  // namespace testsupport
