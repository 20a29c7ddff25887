// The text layouts' bytes in another encoding: Utf8Sink passes every byte on as the window shows
// it, in UTF-8 (Windows-1252 for 128..255; the five codes the code page leaves undefined, 81, 8D,
// 8F, 90 and 9D, as the C1 control characters of the same number, U+0081 ...). Single bytes map
// one by one, so the text may arrive in pieces of any size.
#ifndef PACKSCOPE_CAPTURE_ENCODING_SINK_H_
#define PACKSCOPE_CAPTURE_ENCODING_SINK_H_

#include <string>
#include <string_view>

#include "capture/line_sink.h"

namespace packscope {

// How the text layouts write characters 128..255.
enum class TextEncoding { kWindows1252, kUtf8 };

class Utf8Sink : public LineSink {
 public:
  explicit Utf8Sink(LineSink& out) : out_(out) {}
  void Write(std::string_view bytes) override;

 private:
  LineSink& out_;
  std::string buffer_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_ENCODING_SINK_H_
