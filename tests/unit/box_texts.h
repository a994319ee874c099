#pragma once
// The texts of the boxes the upgrade shows for each named result, written out as the user reads
// them, so that the tests compare what is shown with the text itself rather than with the
// program's own constants.
#include <string>

namespace boxtexts {

inline const std::string kNetErrText =
    "Download khong thanh cong.\r\nXin vui long kiem tra ket noi Internet.";
inline const std::string kFileErrText =
    "Khong tim thay du lieu tren may chu. Xin vui long lien he nha cung cap.";
inline const std::string kDiskErrText =
    "Khong ghi duoc tep vao thu muc cai dat Norvik.\r\n"
    "Xin vui long kiem tra dung luong dia va quyen ghi vao thu muc nay.";
inline const std::string kProxyAuthText = "May chu proxy yeu cau dang nhap.";
inline const std::string kSignErrText =
    "Ban cap nhat Sandel.exe khong co chu ky hop le cua nha san xuat.\r\n"
    "Xin vui long lien he nha cung cap.";
inline const std::string kPageErrText =
    "Mang tra ve mot trang web thay vi tep cap nhat.\r\n"
    "Xin vui long mo trinh duyet, dang nhap mang (Wi-Fi, proxy) roi thu lai.";
inline const std::string kClockErrText =
    "Ngay gio cua may tinh khong dung nen khong ket noi an toan duoc.\r\n"
    "Xin vui long chinh lai ngay gio roi thu lai.";
inline const std::string kCertExpiredErrText =
    "Chung chi bao mat cua may chu cap nhat da het han.\r\nXin vui long lien he nha cung cap.";
inline const std::string kTlsErrText =
    "Windows tren may nay chua bat TLS 1.2 nen khong ket noi an toan duoc.\r\n"
    "Xin vui long cai Internet Explorer 11 hoac bat TLS 1.2 (Internet Options > Advanced) roi "
    "thu lai.";
inline const std::string kSecureErrText =
    "Khong ket noi an toan duoc toi may chu cap nhat.\r\n"
    "Phan mem diet virus, tuong lua hoac proxy co the dang chan ket noi.";
inline const std::string kVirusErrText =
    "Phan mem diet virus da chan tep cap nhat.\r\nXin vui long lien he nha cung cap.";

}  // namespace boxtexts
