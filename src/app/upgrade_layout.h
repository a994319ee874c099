#pragma once
// Where the upgrade's files live on the download server and on disk, and the texts the upgrade
// shows to the user.
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
inline const std::string kMsgNetErr =
    "Download khong thanh cong." + kCrLf + "Xin vui long kiem tra ket noi Internet.";
inline const std::string kMsgFileErr =
    "Khong tim thay du lieu tren may chu. Xin vui long lien he nha cung cap.";
inline const std::string kMsgDiskErr =
    "Khong ghi duoc tep vao thu muc cai dat Norvik." + kCrLf +
    "Xin vui long kiem tra dung luong dia va quyen ghi vao thu muc nay.";
inline const std::string kMsgProxyAuthErr = "May chu proxy yeu cau dang nhap.";
inline const std::string kMsgSignErr =
    "Ban cap nhat Sandel.exe khong co chu ky hop le cua nha san xuat." + kCrLf +
    "Xin vui long lien he nha cung cap.";
// A network that wants a login first answered with its page instead of the file.
inline const std::string kMsgPageErr =
    "Mang tra ve mot trang web thay vi tep cap nhat." + kCrLf +
    "Xin vui long mo trinh duyet, dang nhap mang (Wi-Fi, proxy) roi thu lai.";
inline const std::string kMsgClockErr =
    "Ngay gio cua may tinh khong dung nen khong ket noi an toan duoc." + kCrLf +
    "Xin vui long chinh lai ngay gio roi thu lai.";
// The maker's server certificate has expired (the computer's date is right).
inline const std::string kMsgCertExpiredErr = "Chung chi bao mat cua may chu cap nhat da het han." +
                                              kCrLf + "Xin vui long lien he nha cung cap.";
// Windows 6.0 or 6.1 without TLS 1.2 could not set up the secure channel.
inline const std::string kMsgTlsErr =
    "Windows tren may nay chua bat TLS 1.2 nen khong ket noi an toan duoc." + kCrLf +
    "Xin vui long cai Internet Explorer 11 hoac bat TLS 1.2 (Internet Options > Advanced) roi "
    "thu lai.";
inline const std::string kMsgSecureErr =
    "Khong ket noi an toan duoc toi may chu cap nhat." + kCrLf +
    "Phan mem diet virus, tuong lua hoac proxy co the dang chan ket noi.";
inline const std::string kMsgVirusErr =
    "Phan mem diet virus da chan tep cap nhat." + kCrLf + "Xin vui long lien he nha cung cap.";
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

}  // namespace app
