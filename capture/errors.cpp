#include "capture/errors.h"

#include <cstring>

namespace packscope {

std::string ErrnoMessage(const std::string& what, int error_number) {
  return what + ": " + std::strerror(error_number) + ".";
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace packscope
