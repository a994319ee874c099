#pragma once
// Where the upgrade's files live on the download server and on disk, and the texts the upgrade
// shows to the user (the boxes of the named results are in results/results.def).
#include <cstddef>
#include <string>

namespace app {

// Remote paths, appended to the download engine's base URL.
inline const std::string kRemoteTool = "/Sandel/Sandel.exe";
inline const std::string kRemoteSystemPackage = "/Sandel/Norvik_sys.rar";
// The customer's package: the code goes in as one percent-encoded path segment.
std::string customerPackageRemotePath(const std::string& customerCode);

// Local paths. The install folder is used exactly as typed: a backslash and a name are appended
// without removing or adding any other separator.
std::string toolLocalPath(const std::string& installFolder);
std::string tempFolderPath(const std::string& installFolder);
std::string systemPackageLocalPath(const std::string& installFolder);
std::string customerPackageLocalPath(const std::string& installFolder);
// The customer package's file name, which the boxes about it name.
inline const std::string kCustomerPackageName = "Norvik.rar";
// True when Windows without long-path support takes every path the upgrade uses in the install
// folder: the packages' folder at most 247 UTF-16 characters (CreateDirectory leaves room for an
// 8.3 name within MAX_PATH), each file, partial name included, at most 259 (MAX_PATH less the
// terminating NUL).
bool pathsFitWindows(const std::string& installFolder);
inline constexpr std::size_t kMaxFolderPath = 247;
inline constexpr std::size_t kMaxFilePath = 259;
// The two files whose presence marks a folder as the product's install folder.
std::string infoMarkerPath(const std::string& installFolder);
std::string dllMarkerPath(const std::string& installFolder);

// "http://" + host on systems named "Windows 2000" (every Windows of major version 5),
// "https://" + host everywhere else.
std::string baseUrlFor(const std::string& windowsVersionName, const std::string& host);

// Message boxes.
inline const std::string kMsgTitle = "THONG BAO";
inline const std::string kCrLf = "\r\n";
inline const std::string kMsgEnterCustomerCode = "Xin vui long nhap ma khach hang.";
inline const std::string kMsgInvalidCustomerCode =
    "Ma khach hang khong hop le." + kCrLf + "Xin vui long nhap ma khach hang.";
inline const std::string kMsgEnterFolder = "Xin vui long cho biet thu muc da cai dat Norvik.";
inline const std::string kMsgWrongFolder =
    "Thu muc chua dung." + kCrLf + "Xin vui long cho biet thu muc da cai dat Norvik.";
// The program runs elevated and does not see the drive (`drive`, "Z:") the folder lies on.
std::string msgDriveUnseenWhileElevated(const std::string& drive);
inline const std::string kMsgBadProxy = "Thong tin proxy khong hop le.";
// The install folder was changed to another one while the update tool was being downloaded.
inline const std::string kMsgFolderChanged =
    "Thu muc cai dat da thay doi trong luc tai chuong trinh cap nhat." + kCrLf +
    "Xin vui long bam Dong y de nang cap lai.";
// A step of the program's start failed, so no window can be shown.
inline const std::string kMsgStartFailed =
    "Khong khoi dong duoc UpgradeNorvik." + kCrLf + "Xin vui long lien he nha cung cap.";
std::string msgCannotDeleteOldTool(const std::string& path);
std::string msgCannotStartTool(const std::string& path);
// The disk error's box with the folder that cannot be made or used on its own line.
std::string msgDiskErrIn(const std::string& folder);

}  // namespace app
