// The one kind of error a command reports to the user: it says what failed and why, in words a
// user understands (UTF-8, paths included). Commands catch it, and everything else, at their
// top and show it through the window; no error ends the program.
#ifndef PACKSCOPE_CAPTURE_ERRORS_H_
#define PACKSCOPE_CAPTURE_ERRORS_H_

#include <stdexcept>
#include <string>

namespace packscope {

class CommandError : public std::runtime_error {
 public:
  explicit CommandError(const std::string& message) : std::runtime_error(message) {}
};

// The capture itself could not be read (missing, a folder, no access, a read error): the pass
// showed nothing of it worth keeping.
class CaptureUnreadable : public CommandError {
 public:
  using CommandError::CommandError;
};

// The user stopped the pass (Window::ShowProgress answered false). Not an error: commands say so
// in Label2 and report nothing.
class PassCancelled : public std::runtime_error {
 public:
  PassCancelled() : std::runtime_error("The pass was cancelled.") {}
};

// "<what>: <reason of errno>", e.g. Cannot read the capture "/x.kss": No such file or directory
std::string ErrnoMessage(const std::string& what, int error_number);

// A path quoted for messages.
std::string Quoted(const std::string& path);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_ERRORS_H_
