#pragma once
// ClsSkin: reads and writes single entries of an INI file through the system's profile
// functions. The file is INIPath + "\" + FileName; INIPath starts as the Windows directory.
#include <stdexcept>
#include <string>

#include "settings/profile_api.h"

namespace settings {

// The class's errors: a number, the source text and the description text.
class IniError : public std::runtime_error {
  public:
    IniError(int number, std::string source, std::string description);
    int number() const { return number_; }
    const std::string& source() const { return source_; }
    const std::string& description() const { return description_; }

  private:
    int number_;
    std::string source_;
    std::string description_;
};

inline constexpr int kErrReadEntry = 10000;
inline constexpr int kErrWindowsPath = 10001;
inline constexpr int kErrWriteEntry = 10002;

class ClsSkin {
  public:
    // Reads the Windows directory; IniError 10001 when that step fails with an error.
    explicit ClsSkin(ProfileApi& api);

    const std::string& WindowsPath() const { return windowsPath_; }
    const std::string& FileName() const { return fileName_; }
    void FileName(const std::string& value) { fileName_ = value; }
    // Writes the entry; IniError 10002 when the system refuses.
    void WriteINI(const std::string& section, const std::string& key, const std::string& value);
    // The entry's value; IniError 10000 when it is missing or empty.
    std::string ReadINI(const std::string& section, const std::string& key);
    const std::string& INIPath() const { return iniPath_; }
    void INIPath(const std::string& value) { iniPath_ = value; }

  private:
    void LoadWindowsPath();
    std::string ReadFrom(const std::string& section, const std::string& key);
    void WriteTo(const std::string& section, const std::string& key, const std::string& value);
    std::string file() const { return iniPath_ + "\\" + fileName_; }

    ProfileApi& api_;
    std::string iniPath_;
    std::string fileName_;
    std::string windowsPath_;
};

}  // namespace settings
