#pragma once
// The result a failing Windows call of the download engine stands for, and which local file
// failures may clear by themselves.
#include <cstdint>
#include <optional>
#include <string>

namespace download {

// The result of a WinINet call that failed without an answer: "ClockErr" for a certificate
// outside its validity period (see resultForRefusedRequest for the judgement of its date),
// "SecureErr" for any other refused certificate or a secure channel that could not be set up,
// "NetErr" for everything else.
std::string resultForInternetError(std::uint32_t winInetError);

// True for the refusals of the server's certificate (unknown issuer, another host, out of its
// validity period, invalid) and of the secure channel: what WinINet answers on a network that
// intercepts HTTPS to show its login page.
bool isRefusedCertificate(std::uint32_t winInetError);

// What a request that could not be sent is judged by besides its code. Dates are FILETIME units
// (100 ns since 1601, UTC).
struct SecureContext {
    // What a failed secure handshake is on this Windows (see oldTlsResult); "" where WinINet
    // speaks TLS 1.2.
    std::string oldTlsResult;
    std::uint64_t now = 0;        // the computer's date
    std::uint64_t buildDate = 0;  // the date this program was built from; 0 when unknown
};
// wProductType of OSVERSIONINFOEX: VER_NT_WORKSTATION; a server or domain controller otherwise
// (0 when the system could not tell).
inline constexpr std::uint8_t kProductWorkstation = 1;
inline constexpr std::uint8_t kProductServer = 3;

// The result of a secure handshake that failed on a Windows whose WinINet may lack TLS 1.2, named
// for what works there: on 6.1 (7, Server 2008 R2: off unless Internet Explorer 11 turned it on)
// "TlsErr"; on 6.0 "TlsServer2008Err" for a server or domain controller (an update brings it) and
// "TlsVistaErr" for a workstation or an unknown product type (nothing brings it); "" on every
// other Windows.
std::string oldTlsResult(std::uint32_t major, std::uint32_t minor, std::uint8_t productType);
// True for the results oldTlsResult gives.
bool isOldTlsResult(const std::string& result);

struct RefusedRequest {
    std::uint32_t error = 0;
    bool secure = false;        // an https request
    bool channelSetUp = false;  // the secure channel stood before the request failed
    // From when the server's certificate is valid, when the request could tell.
    std::optional<std::uint64_t> certificateStart;
};

// The result of a request that could not be sent, named for what the user can mend: a
// certificate out of its validity period is "ClockErr" while the computer's date lies before
// this build's or the certificate's start, else "CertExpiredErr" (it expired on the server); on
// Windows 6.0 and 6.1 a secure handshake that failed (12157, or the connection closed or reset
// before the secure channel stood) is the context's oldTlsResult; everything else as
// resultForInternetError.
std::string resultForRefusedRequest(const RefusedRequest& request, const SecureContext& context);

// The result of a failing local file operation: "VirusErr" when an antivirus program blocked or
// removed the file, else "DiskErr".
std::string resultForFileError(std::uint32_t windowsError);

// True for the Windows error codes of a file another program holds open or locked (sharing or
// lock violation, access denied while it closes): such a failure may clear within moments.
// Every other failure of a local file operation (disk full, access denied, a path the system
// refuses) stays.
bool mayClearSoon(std::uint32_t windowsError);
// How long a rename that may clear is tried again, and the pause between tries.
inline constexpr std::uint32_t kRenameRetryMs = 2000;
inline constexpr std::uint32_t kRenamePauseMs = 100;

}  // namespace download
