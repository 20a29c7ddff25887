// MergedCapture: several captures of one traffic (receivers) merged for the frame list. The
// merge (framelist/merged_source.h) is written once to a scratch file of the program's own, the
// capture the kiss layout writes of it (packscope-convert --merge --layout kiss), which the frame
// list then indexes and reads as any capture; beside it, who heard each of its frames:
//
//   merged capture   C0 09 <stamp> C0  C0 <packet 0> C0  C0 <packet 1> C0  C0 09 <stamp> C0 ...
//   frame             0                 1                 2                 3
//   heard            [0, 1)            [1, 3)            [3, 4)            [4, 4)   ranges of:
//   receivers         north(0 ms) | north(0 ms) south(+1020 ms) | west(0 ms) | ...
//
// Memory: 8 bytes a frame of the merge and 9 bytes a reception (a packet heard by three
// receivers takes 35 bytes): it grows with the captures' frames, never with their product. The
// captures' own indexes are let go once the merge is written; the scratch file holds the packets
// once, and goes with the object.
#ifndef PACKSCOPE_FRAMELIST_MERGED_CAPTURE_H_
#define PACKSCOPE_FRAMELIST_MERGED_CAPTURE_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_index.h"
#include "capture/frame_receivers.h"
#include "capture/frame_source.h"
#include "capture/output_file.h"
#include "framelist/capture_merge.h"
#include "framelist/frame_passes.h"

namespace packscope {

class MergedCapture {
 public:
  // Indexes the captures (paths as bytes, any format the input index reads; each a receiver,
  // named by its file name, or by its path as given when two captures have one file name),
  // merges them and writes the merge to a scratch file. Null when cancelled. Throws CommandError: a
  // capture that cannot be read to its end, MergeProblem's reasons, a scratch file that cannot be
  // written. Progress: bytes of the captures indexed, then merged, of twice their size.
  static std::shared_ptr<const MergedCapture> Make(const std::vector<std::string>& captures,
                                                   const MergeOptions& options,
                                                   const std::atomic<bool>* cancel = nullptr,
                                                   const PassProgress& progress = {});

  // The merged capture's file (the frame list opens it).
  const std::string& Path() const { return file_.Path(); }
  // The captures as given, and the receivers' names, sorted (Reception::receiver counts here).
  const std::vector<std::string>& Captures() const { return captures_; }
  const std::vector<std::string>& Names() const { return names_; }
  const MergeOptions& Options() const { return options_; }
  std::int64_t Packets() const { return packets_; }
  // Frames of the merged capture, timestamp frames included.
  std::int64_t FrameCount() const { return static_cast<std::int64_t>(starts_.size()) - 1; }

  // Who heard a frame of the merged capture (its number from 0), in the order of Names(), into
  // out; none for a timestamp frame or a number beyond them.
  void HeardOf(std::int64_t frame, std::vector<Reception>& out) const;
  // Their names, a blank between two ("north.kss south.kss"), as the Receivers column shows them.
  std::string HeardText(std::int64_t frame) const;
  // "north.kss, south.kss, west.kss": the window's title.
  std::string Title() const;

  // The merged capture as a FrameSource for the frame loop, with each frame's receivers, read
  // through its index (snapshot, read to its end): an export of it writes what packscope-convert
  // --merge writes of the captures. Throws CommandError when the file cannot be read.
  std::unique_ptr<FrameSource> Source(const IndexSnapshot& snapshot) const;

 private:
  MergedCapture(std::vector<std::string> captures, const MergeOptions& options);

  std::vector<std::string> captures_;
  std::vector<std::string> names_;
  MergeOptions options_;
  ScratchFile file_;
  std::int64_t packets_ = 0;
  std::vector<std::uint64_t> starts_;  // frame k heard by receptions [starts_[k], starts_[k+1])
  std::vector<std::uint8_t> receivers_;
  std::vector<std::int64_t> offsets_ms_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_MERGED_CAPTURE_H_
