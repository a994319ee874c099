#include "app/upgrade_layout.h"

#include "app/url_segment.h"

namespace app {

std::string customerPackageRemotePath(const std::string& customerCode) {
    return "/Sandel/" + percentEncodeSegment(customerCode) + "/Norvik.rar";
}

std::string toolLocalPath(const std::string& installFolder) {
    return installFolder + "\\Sandel.exe";
}

std::string tempFolderPath(const std::string& installFolder) {
    return installFolder + "\\NorvikSandelTemp";
}

std::string systemPackageLocalPath(const std::string& installFolder) {
    return tempFolderPath(installFolder) + "\\Norvik_sys.rar";
}

std::string customerPackageLocalPath(const std::string& installFolder) {
    return tempFolderPath(installFolder) + "\\Norvik.rar";
}

std::string infoMarkerPath(const std::string& installFolder) {
    return installFolder + "\\Report\\Info.xml";
}

std::string dllMarkerPath(const std::string& installFolder) {
    return installFolder + "\\Norvik.dll";
}

std::string baseUrlFor(const std::string& windowsVersionName, const std::string& host) {
    return (windowsVersionName == "Windows 2000" ? "http://" : "https://") + host;
}

std::string msgCannotDeleteOldTool(const std::string& path) {
    return "Khong the xoa ban cu cua chuong trinh cap nhat:" + kCrLf + path + kCrLf +
           "Xin vui long dong chuong trinh cap nhat neu no dang chay, bo thuoc tinh chi doc cua "
           "tep roi thu lai.";
}

std::string msgCannotStartTool(const std::string& path) {
    return "Khong the khoi dong chuong trinh cap nhat:" + kCrLf + path + kCrLf +
           "Xin vui long thu lai hoac lien he nha cung cap.";
}

}  // namespace app
