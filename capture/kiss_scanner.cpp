#include "capture/kiss_scanner.h"

#include "capture/errors.h"

namespace packscope {

std::string FrameTooLongMessage(std::int64_t frame, std::int64_t offset, const std::string& path) {
  return "Frame " + std::to_string(frame) + " at byte offset " + std::to_string(offset) + " of " +
         Quoted(path) + " is longer than " + std::to_string(kMaxFrameLength) +
         " bytes; the pass stopped there.";
}

void AppendKissEscaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> kiss_frame) {
  out.push_back(kFend);
  for (const std::uint8_t b : kiss_frame) {
    if (b == kFend) {
      out.push_back(kFesc);
      out.push_back(kTfend);
    } else if (b == kFesc) {
      out.push_back(kFesc);
      out.push_back(kTfesc);
    } else {
      out.push_back(b);
    }
  }
  out.push_back(kFend);
}

}  // namespace packscope
