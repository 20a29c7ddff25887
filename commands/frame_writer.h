// FrameWriter: a layout written frame by frame by an observer of the pass rather than by the frame
// output step (the converter's pcap, jsonl and monitor layouts).
#ifndef PACKSCOPE_COMMANDS_FRAME_WRITER_H_
#define PACKSCOPE_COMMANDS_FRAME_WRITER_H_

#include <functional>
#include <memory>

#include "capture/frame_loop.h"
#include "capture/line_sink.h"

namespace packscope {

class FrameWriter : public CaptureObserver {
 public:
  // After the last frame, before the output is put in place; state is the pass's. Throws
  // CommandError.
  virtual void Finish(const DecoderState& state) { (void)state; }
};
using FrameWriterFactory = std::function<std::unique_ptr<FrameWriter>(LineSink& out)>;

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_FRAME_WRITER_H_
