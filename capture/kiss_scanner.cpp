#include "capture/kiss_scanner.h"

#include "capture/errors.h"

namespace packscope {

std::string FrameTooLongMessage(std::int64_t frame, std::int64_t offset, const std::string& path) {
  return "Frame " + std::to_string(frame) + " at byte offset " + std::to_string(offset) + " of " +
         Quoted(path) + " is longer than " + std::to_string(kMaxFrameLength) +
         " bytes; the pass stopped there.";
}

}  // namespace packscope
