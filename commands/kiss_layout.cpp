// The kiss layout: the frames a pass hands on, written as a KISS capture again. Each frame is
// written with the bytes it has in the capture, between two FENDs of its own:
//
//   C0 | the frame's stored bytes (type byte, data, escapes as they are) | C0
//
// so reading the new capture gives the same un-escaped frames. In front of a frame goes the
// timestamp frame that set the stamp it carries, once per change of stamp. Timestamp frames that
// set nothing (type 0x09, neither 9 bytes nor holding "UTC") and stamps that no frame written
// follows are left out, and so are bytes before the first FEND; a frame recovered behind a shared
// FEND or cut off by the end of the capture gets FENDs of its own. Without a filter the result
// is the capture normalised: --check finds in it only what lies inside frames.
#include <string_view>

#include "commands/layouts.h"

namespace packscope {
namespace {

// The frame's stored bytes between FENDs of their own: RawBytes (C0, the bytes read, and C0 when a
// FEND closed the frame), with the closing FEND that a frame cut off lacks.
void StoredFrame(const DecoderState& state, const FrameInfo& info, std::string& out) {
  out.assign(reinterpret_cast<const char*>(state.RawBytes.data()), state.RawBytes.size());
  if (info.cut_off) out.push_back(static_cast<char>(kFend));
}

// The timestamp step takes a stamp from a frame of 9 bytes or one that holds "UTC".
bool SetsStamp(const DecoderState& state) {
  if (state.FrameLength == 9) return true;
  const std::string_view frame(reinterpret_cast<const char*>(state.FrameBytes.data() + 1),
                               static_cast<std::size_t>(state.FrameLength));
  return frame.find("UTC") != std::string_view::npos;
}

class KissWriter : public FrameWriter {
 public:
  explicit KissWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      if (SetsStamp(state)) StoredFrame(state, info, stamp_);
      return;
    }
    if (stamp_ != written_stamp_) {
      out_.Write(stamp_);
      written_stamp_ = stamp_;
    }
    StoredFrame(state, info, frame_);
    out_.Write(frame_);
  }

  // The frame's bytes alone.
  FrameTexts Reads() const override { return FrameTexts::None(); }

 private:
  LineSink& out_;
  std::string stamp_;          // the stamp frame in force, C0 .. C0; empty before the first
  std::string written_stamp_;  // the stamp frame written last
  std::string frame_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeKissWriter(LineSink& out) {
  return std::make_unique<KissWriter>(out);
}

}  // namespace packscope
