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

// "<what>: <reason of errno>", e.g. Cannot read the capture "/x.kss": No such file or directory
std::string ErrnoMessage(const std::string& what, int error_number);

// A path quoted for messages.
std::string Quoted(const std::string& path);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_ERRORS_H_
