#pragma once
// The two checks of the update tool's signature: of the file its download has just written (on
// the transfer thread), and of the file held for its start (on a thread of its own while the
// window's thread keeps answering). Either may take long: on Windows XP WinVerifyTrust may fetch
// missing certificates from the network, each URL waiting out its own timeout.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/services.h"
#include "download/thread_api.h"

namespace app {

// `check` of a file that its download has just written and closed: an antivirus program may be
// scanning it, so a check refused with a sharing violation is made again (ScannerPatience). On
// the transfer thread: nothing is pumped between the tries.
SignatureCheck checkJustWritten(download::Clock& clock,
                                const std::function<SignatureCheck()>& check);
// True when such a check could not open the file: still held by a scanner past the patience, or
// gone or no longer to be opened right after our own write (quarantined).
bool quarantined(const SignatureCheck& check);

// The verdict (see toolSignatureResult) on the tool that its download has just written and
// closed at `path` (checkJustWritten); "VirusErr" when it was quarantined.
std::string checkDownloadedTool(SignatureVerifier& verifier, download::Clock& clock,
                                const std::string& path, const std::string& publisher);

// The verdict on the held tool, checked on a thread of its own while the window's thread waits
// at most `boundMs`, answering its messages (`pump`) between bounded waits. "SignTimeoutErr"
// past the bound, or when no thread could be started; the abandoned check keeps its share of
// `held` until it returns.
std::string checkHeldTool(const std::shared_ptr<HeldProgram>& held, const std::string& publisher,
                          download::Threads& threads, download::Clock& clock, std::uint32_t boundMs,
                          const std::function<void()>& pump);

}  // namespace app
