#include "app/upgrade_layout.h"

#include "app/url_segment.h"
#include "download/partial_file.h"

namespace app {

std::string customerPackageRemotePath(const std::string& customerCode) {
    return "/Sandel/" + percentEncodeSegment(customerCode) + "/" + kCustomerPackageName;
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
    return tempFolderPath(installFolder) + "\\" + kCustomerPackageName;
}

namespace {

// The length of a UTF-8 text in UTF-16 code units: one per character, two beyond U+FFFF.
std::size_t utf16Length(const std::string& utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

}  // namespace

bool pathsFitWindows(const std::string& installFolder) {
    if (utf16Length(tempFolderPath(installFolder)) > kMaxFolderPath)
        return false;
    for (const std::string& file :
         {toolLocalPath(installFolder), systemPackageLocalPath(installFolder),
          customerPackageLocalPath(installFolder)})
        if (utf16Length(download::partialName(file)) > kMaxFilePath)
            return false;
    return true;
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

std::string msgDriveUnseenWhileElevated(const std::string& drive) {
    return "UpgradeNorvik dang chay voi quyen cao nhat nen khong thay o dia " + drive + "." +
           kCrLf +
           "Xin vui long cho biet thu muc da cai dat Norvik bang duong dan mang "
           "(\\\\may chu\\thu muc chia se\\...).";
}

std::string msgDiskErrIn(const std::string& folder) {
    return "Khong ghi duoc tep vao thu muc cai dat Norvik." + kCrLf + folder + kCrLf +
           "Xin vui long kiem tra dung luong dia va quyen ghi vao thu muc nay.";
}

std::string msgCannotStartTool(const std::string& path) {
    return "Khong the khoi dong chuong trinh cap nhat:" + kCrLf + path + kCrLf +
           "Xin vui long thu lai hoac lien he nha cung cap.";
}

}  // namespace app
