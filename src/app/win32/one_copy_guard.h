#pragma once
// The session's one-copy guard: a named mutex in the session's own namespace, held for the
// process's life and released by the system however the process ends (also killed).
#include "common/win32/unique_handle.h"

namespace app::win32 {

// Takes the guard into `guard` and returns true when this copy may run. When another copy holds
// it, waits up to 5 s for it (a copy that is ending lets it go: this copy then runs as the
// first); a copy whose window stays there is brought to the front (restored when minimized)
// instead, and false returned; this copy then ends without a window, having touched no file.
bool claimOneCopy(norvik::win32::UniqueKernelHandle& guard);

}  // namespace app::win32
