#pragma once
// Putting free text into a URL as exactly one path segment.
#include <string>

namespace app {

// Percent-encodes the UTF-8 bytes of `text` so that it stays one path segment: the unreserved
// characters (letters, digits, "-", ".", "_", "~") are kept, every other byte becomes %XX with
// upper-case hex digits. A space gives "%20", "/" gives "%2F", "%" gives "%25".
std::string percentEncodeSegment(const std::string& text);

// True when `text`, as one path segment, could name no folder of its own under its parent on a
// server: empty, "." or "..", or holding "/" or "\". Servers resolve dot segments even when they
// are percent-encoded, and some (nginx among them) decode "%2F" into "/" before they do, so
// encoding alone cannot keep such a text inside its folder.
bool leavesItsFolder(const std::string& text);

}  // namespace app
