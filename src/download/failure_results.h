#pragma once
// The result a failing Windows call of the download engine stands for, and which local file
// failures may clear by themselves.
#include <cstdint>
#include <string>

namespace download {

// The result of a request that WinINet could not open: "ClockErr" for a certificate outside its
// validity period (most often the computer's date is wrong), "SecureErr" for any other refused
// certificate or a secure channel that could not be set up, "NetErr" for everything else.
std::string resultForInternetError(std::uint32_t winInetError);

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
