#include "settings/cls_ini.h"

namespace settings {

IniError::IniError(int number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

ClsSkin::ClsSkin(ProfileApi& api) : api_(api) {
    LoadWindowsPath();
    iniPath_ = windowsPath_;
}

void ClsSkin::LoadWindowsPath() {
    try {
        windowsPath_ = api_.windowsDirectory();
    } catch (const std::exception&) {
        throw IniError(kErrWindowsPath, "clsINI.cls", "Unable To read the windows path.");
    }
}

std::string ClsSkin::ReadFrom(const std::string& section, const std::string& key) {
    std::string value = api_.readString(section, key, file());
    if (value.empty())
        throw IniError(kErrReadEntry, "ReadFrom()", "Unable To read ini file entry.");
    return value;
}

void ClsSkin::WriteTo(const std::string& section, const std::string& key,
                      const std::string& value) {
    if (!api_.writeString(section, key, value, file()))
        throw IniError(kErrWriteEntry, "WriteTo()",
                       "There was a critical Error writing to the " + fileName_ + " file.");
}

void ClsSkin::WriteINI(const std::string& section, const std::string& key,
                       const std::string& value) {
    WriteTo(section, key, value);
}

std::string ClsSkin::ReadINI(const std::string& section, const std::string& key) {
    return ReadFrom(section, key);
}

}  // namespace settings
