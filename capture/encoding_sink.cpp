#include "capture/encoding_sink.h"

#include "render/codepage.h"

namespace packscope {

void Utf8Sink::Write(std::string_view bytes) {
  // Plain ASCII goes on as it is; only text with bytes 128..255 is converted.
  bool ascii = true;
  for (const char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    out_.Write(bytes);
    return;
  }
  buffer_.clear();
  AppendCp1252AsUtf8(buffer_, bytes);
  out_.Write(buffer_);
}

}  // namespace packscope
