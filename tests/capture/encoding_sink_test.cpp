#include "capture/encoding_sink.h"

#include <gtest/gtest.h>

#include <string>

namespace packscope {
namespace {

class StringSink : public LineSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

// Every byte becomes the character the window shows for it, whatever pieces the text comes in;
// the five bytes without a character in the code page become their C1 control characters.
TEST(Utf8SinkTest, EveryByteAsTheWindowShowsIt) {
  StringSink out;
  Utf8Sink utf8(out);
  utf8.Write("A\r\n");
  utf8.Write(std::string("\x80\x81", 2));
  utf8.WriteLine(std::string("\x8D\x8F\x90\x9D\xC0\xFF", 6));
  EXPECT_EQ(out.text,
            "A\r\n\xE2\x82\xAC\xC2\x81"
            "\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC3\x80\xC3\xBF\r\n");
}

}  // namespace
}  // namespace packscope
