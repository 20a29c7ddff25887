// Where the file layouts write their lines: the output file of a write command, or standard
// output in the converter.
#ifndef PACKSCOPE_CAPTURE_LINE_SINK_H_
#define PACKSCOPE_CAPTURE_LINE_SINK_H_

#include <string_view>

namespace packscope {

class LineSink {
 public:
  virtual ~LineSink() = default;
  // Writes bytes as they are. Throws CommandError when the bytes cannot be written.
  virtual void Write(std::string_view bytes) = 0;

  // One line: the parts joined without separators, then CR LF.
  void WriteLine(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
    Write(a);
    if (!b.empty()) Write(b);
    if (!c.empty()) Write(c);
    Write("\r\n");
  }
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_LINE_SINK_H_
