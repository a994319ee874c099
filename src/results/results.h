#pragma once
// The named results of a download and of the update tool's start, and the box the upgrade shows
// for each: the rows of results.def, as names the code compares with and as a table to look up.
// A result travels as its name ("" for success), the text the download call returns.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace results {

// Whether another attempt may mend the failure.
enum class Nature { Retry, Final };

// Where a result may arise, as bits.
enum Arises : unsigned {
    Download = 1,  // the download engine's answer to a request or a local file operation
    Check = 2,     // a signature check: the update tool's (at its download and before its start),
                   // a package's (at its download)
    Start = 4,     // holding or starting the update tool
};

enum class Icon { Information };

struct Row {
    const char* name;
    Nature nature;
    unsigned arises;
    Icon icon;
    const char* firstLine;
    const char* secondLine;  // "" for a one-line box
    const char* when;        // when it arises, in the user's documentation's words
};

inline constexpr Row kRows[] = {
#define NORVIK_RESULT(name, nature, arises, icon, first, second, when) \
    {#name, Nature::nature, arises, Icon::icon, first, second, when},
#include "results/results.def"
#undef NORVIK_RESULT
};

inline const std::string kResultOk;
#define NORVIK_RESULT(name, ...) inline const std::string k##name = #name;
#include "results/results.def"
#undef NORVIK_RESULT

// The row of a result's name; nullptr for "" and for any text that names no result.
const Row* find(std::string_view name);

// The update tool's file name, which the boxes of its results name.
inline constexpr std::string_view kToolFileName = "Sandel.exe";

// The box's text: its lines joined by CR LF, `fileName` in place of {file}.
std::string boxText(const Row& row, std::string_view fileName);
// The same by the result's name; "" when it names no result.
std::string boxText(std::string_view name, std::string_view fileName = kToolFileName);

// True for a result another attempt may mend.
bool worthRetry(std::string_view name);

// The caller's check of a complete download before it takes its final name: "" accepts the file,
// any result refuses it and becomes the download's result. It runs on the transfer thread.
using AcceptFile = std::function<std::string(const std::string& partialPath)>;

}  // namespace results
