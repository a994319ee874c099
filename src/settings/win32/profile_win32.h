#pragma once
// The INI class's profile functions bound to kernel32 (UTF-16 at the boundary).
#include "settings/profile_api.h"

namespace settings::win32 {

class Win32ProfileApi : public ProfileApi {
  public:
    std::string windowsDirectory() override;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& file) override;
    bool writeString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override;
};

}  // namespace settings::win32
