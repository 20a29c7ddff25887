// The TNC stream parser: frames un-escaped and handed on whole however the stream is cut into
// reads; what it drops (a frame's tail before the first FEND, empty frames, overlong frames, a
// frame cut by a lost connection); and the escaping the recorder and the replay write.
#include "live/kiss_stream.h"

#include <gtest/gtest.h>

#include "capture/decoder_state.h"
#include "live/live_test_support.h"

namespace packscope {
namespace {

using testing::ByteVec;
using testing::ToBytes;

std::vector<ByteVec> Parse(KissStreamParser& parser, const ByteVec& stream, std::size_t piece) {
  std::vector<ByteVec> frames;
  for (std::size_t i = 0; i < stream.size(); i += piece) {
    const std::size_t n = std::min(piece, stream.size() - i);
    parser.Feed(std::span(stream).subspan(i, n),
                [&](std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); });
  }
  return frames;
}

TEST(KissStreamParserTest, FramesAreUnescapedAndWholeInPiecesOfAnySize) {
  const ByteVec stream = {
      0x41, 0xDB, 0xDC, 0xC0,              // tail of a frame whose start was missed
      0x00, 0x41, 0xDB, 0xDC, 0x42, 0xC0,  // C0 escaped
      0xC0, 0xC0,                          // empty frames
      0x00, 0xDB, 0xDD, 0xDB, 0x41, 0xC0,  // DB escaped; a stray FESC kept as data
      0x00, 0xDB, 0xDB, 0xDC, 0xC0,        // FESC FESC TFEND: DB and C0
      0x10, 0x43, 0xDB, 0xC0,              // port 1; a FESC standing last is kept
      0x00, 0x44,                          // not closed yet
  };
  const std::vector<ByteVec> expected = {
      {0x00, 0x41, 0xC0, 0x42},
      {0x00, 0xDB, 0xDB, 0x41},
      {0x00, 0xDB, 0xC0},
      {0x10, 0x43, 0xDB},
  };
  for (const std::size_t piece : {stream.size(), std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
    KissStreamParser parser;
    EXPECT_EQ(Parse(parser, stream, piece), expected) << "pieces of " << piece;
    EXPECT_EQ(parser.Reset(), 2u) << "the open frame 00 44 is dropped";
  }
}

TEST(KissStreamParserTest, AFrameTooLongForACaptureIsDroppedAndTheNextOneRead) {
  ByteVec stream = {0xC0};
  stream.insert(stream.end(), static_cast<std::size_t>(kMaxFrameLength), 0x41);
  stream.push_back(0xC0);  // the longest frame there may be
  stream.insert(stream.end(), static_cast<std::size_t>(kMaxFrameLength) + 1, 0x42);
  stream.insert(stream.end(), {0xC0, 0x00, 0x43, 0xC0});
  KissStreamParser parser;
  const std::vector<ByteVec> frames = Parse(parser, stream, 4096);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].size(), static_cast<std::size_t>(kMaxFrameLength));
  EXPECT_EQ(frames[1], (ByteVec{0x00, 0x43}));
  EXPECT_EQ(parser.Overlong(), 1);
}

TEST(KissStreamParserTest, EscapedFramesReadBackAsTheyWere) {
  ByteVec all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
  std::vector<std::uint8_t> stream;
  AppendKissEscaped(stream, all);
  AppendKissEscaped(stream, ToBytes(std::string("\xC0\xC0\xDB", 3)));
  EXPECT_EQ(std::count(stream.begin(), stream.end(), 0xC0), 4) << "FENDs only around frames";
  KissStreamParser parser;
  EXPECT_EQ(Parse(parser, stream, 7), (std::vector<ByteVec>{all, {0xC0, 0xC0, 0xDB}}));
}

}  // namespace
}  // namespace packscope
