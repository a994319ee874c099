#pragma once
// The system's profile functions as the INI class needs them. Paths and texts are UTF-8.
#include <string>

namespace settings {

class ProfileApi {
  public:
    virtual ~ProfileApi() = default;
    // The Windows directory; "" when the system cannot report it.
    virtual std::string windowsDirectory() = 0;
    // The entry's whole value, however long; "" for a missing file, section or key and for an
    // empty value.
    virtual std::string readString(const std::string& section, const std::string& key,
                                   const std::string& file) = 0;
    // Creates the file, section and key as needed and replaces an existing value; false when the
    // system reports failure.
    virtual bool writeString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) = 0;
};

}  // namespace settings
