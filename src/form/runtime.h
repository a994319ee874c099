#pragma once
// What the program's logic needs from the user-interface runtime besides the form itself:
// processing pending events, modal message boxes and ending the program.
#include <string>

namespace form {

enum class MsgIcon { Information, Critical };

class Runtime {
  public:
    virtual ~Runtime() = default;
    // Processes every pending window message of the thread, then returns.
    virtual void doEvents() = 0;
    // A modal box with a single OK button.
    virtual void msgBox(const std::string& text, const std::string& title, MsgIcon icon) = 0;
    // Closes the window and ends the process at once with `exitCode`, also from inside a
    // nested handler. Never returns normally.
    virtual void endProgram(int exitCode) = 0;
};

}  // namespace form
