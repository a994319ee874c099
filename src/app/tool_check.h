#pragma once
// The two checks of the update tool's signature: of the file its download has just written (on
// the transfer thread), and of the file held for its start (on a thread of its own while the
// window's thread keeps answering). Each is made cache-only first and, refused for its root
// alone, once more with retrieval allowed (RootsFirst), both tries within one bound. Either may
// take long: fetching waits out each URL's own timeout.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/roots_first.h"
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
// closed at `path` (checkJustWritten); "VirusErr" when it was quarantined. The download engine
// bounds the whole call; `roots` tells the caller which try was under way when that bound passed.
std::string checkDownloadedTool(SignatureVerifier& verifier, download::Clock& clock,
                                const std::string& path, const std::string& publisher,
                                RootsFirst& roots);

// The verdict on the held tool, checked on a thread of its own while the window's thread waits
// at most `boundMs`, answering its messages (`pump`) between bounded waits. "SignTimeoutErr"
// past the bound (both tries together), or when no thread could be started; "RootErr" when the
// bound passes during the try that may fetch the root. The abandoned check keeps its share of
// `held` until it returns.
std::string checkHeldTool(const std::shared_ptr<HeldProgram>& held, const std::string& publisher,
                          download::Threads& threads, download::Clock& clock, std::uint32_t boundMs,
                          const std::function<void()>& pump);

}  // namespace app
