// MergedSource: the merge of several captures (framelist/capture_merge.h) as a stream of KISS
// bytes for the frame loop (capture/frame_source.h), so that every layout, the filter and the
// health report read a merge as they read one capture:
//
//   C0 09 <stamp of packet 1> C0  C0 <packet 1> C0  C0 <packet 2> C0  C0 09 <stamp> C0 ...
//
// Each packet is written with the bytes of its first reception between FENDs of its own, behind
// the timestamp frame that reception carries, once per change of stamp: the stream is the
// capture the kiss layout writes of it, byte for byte (its frame numbers and offsets are those of
// that capture). Each packet's receivers come with it (ReceiversAt).
#ifndef PACKSCOPE_FRAMELIST_MERGED_SOURCE_H_
#define PACKSCOPE_FRAMELIST_MERGED_SOURCE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/frame_source.h"
#include "framelist/capture_merge.h"

namespace packscope {

class MergedSource : public FrameSource {
 public:
  // Throws CommandError as CaptureMerge does. Read hands out whole packets; a block too small for
  // the next one gets a part of it, and the reads after it the rest.
  MergedSource(std::vector<MergeInput> inputs, const MergeOptions& options);

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;
  // In bytes of the captures merged.
  std::int64_t Done() const override { return merge_.BytesRead(); }
  std::int64_t Total() const override { return merge_.ByteTotal(); }
  std::span<const std::string> Paths() const override { return paths_; }
  const FrameReceivers* ReceiversAt(std::int64_t offset) override;
  std::span<const std::string> ReceiverNames() const override { return merge_.Names(); }

  // Packets written so far.
  std::int64_t Packets() const { return packets_; }

  // The packets whose frames begin in the block Read returned last (none when it went on with a
  // packet longer than a block), in the order of the stream.
  struct Placed {
    std::int64_t offset = 0;  // of the packet's opening FEND in the stream
    std::int64_t frame = 0;   // its number among the stream's frames (stamps counted), from 0
    std::vector<Reception> heard;
  };
  std::span<const Placed> LastPlaced() const {
    return std::span<const Placed>(block_).first(rest_read_ ? 0 : placed_);
  }

 private:
  std::vector<std::string> paths_;  // before merge_, which takes the inputs they are read from
  CaptureMerge merge_;
  std::optional<MergedPacket> held_;  // the packet that did not fit the last block
  MergedPacket packet_;
  std::vector<std::uint8_t> written_stamp_;  // the stamp frame written last
  std::vector<std::uint8_t> piece_;
  std::int64_t offset_ = 0;  // of the stream's next byte
  std::vector<Placed> block_;
  std::size_t placed_ = 0;          // block_ entries in use
  std::size_t looked_ = 0;          // where ReceiversAt looks first
  std::vector<std::uint8_t> rest_;  // a packet longer than a block: what is still to be read
  std::size_t rest_at_ = 0;
  FrameReceivers current_;
  std::int64_t packets_ = 0;
  std::int64_t frames_ = 0;  // frames written so far, stamps counted
  bool rest_read_ = false;   // the last Read went on with a packet longer than a block
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_MERGED_SOURCE_H_
