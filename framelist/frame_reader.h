// The bytes of an indexed frame again, read from the capture through its index record, and the
// time its stamp gives. The frame list reads only the frames it shows or a pass asks for; nothing
// is kept per frame beyond the index.
//
//   stored   C0 00 82 A0 DB DC ... C0     from the opening FEND through the closing one (or to
//                                         the end of the file for a frame cut off)
//   frame       00 82 A0 C0    ...        un-escaped by the KISS scanner, type byte first
//
// A frame is un-escaped by the one KISS scanner (capture/kiss_scanner.h): scanning exactly its
// stored bytes again gives the frame the index holds. When the capture no longer holds those
// bytes (it shrank or was written over), Read says so instead of showing other bytes.
#ifndef PACKSCOPE_FRAMELIST_FRAME_READER_H_
#define PACKSCOPE_FRAMELIST_FRAME_READER_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/frame_index.h"
#include "capture/frame_loop.h"

namespace packscope {

struct StoredFrame {
  std::int64_t number = -1;  // in the index, from 0
  std::vector<std::uint8_t> stored;
  std::vector<std::uint8_t> frame;
  // recovered, cut off and timestamp from the index; bad escapes counted in the stored bytes.
  FrameInfo info;
  int escapes = 0;  // FESC pairs that stood for a FEND or a FESC

  std::span<const std::uint8_t> Kiss() const { return frame; }
};

// Where each un-escaped byte of frame stands in stored, from its opening FEND (0); one entry
// more, the place of the closing FEND (or stored.size() for a frame cut off). A FESC pair's
// byte stands at its FESC; a FESC kept as data at itself.
std::vector<std::int32_t> StoredPlaces(const StoredFrame& frame);

// Reads frames of one snapshot. One thread per reader.
class FrameReader {
 public:
  // read_ahead: a pass over many frames in capture order reads blocks of this many bytes; 0
  // reads each frame alone (a screen of rows, the details of one frame).
  explicit FrameReader(IndexSnapshot snapshot, std::size_t read_ahead = 0);

  // False when the capture cannot be read there or no longer holds the frame as indexed.
  bool Read(std::int64_t frame, StoredFrame& out);
  const IndexSnapshot& Snapshot() const { return snapshot_; }
  // A pass that goes through the capture backwards reads the blocks that end at its frames.
  void SetBackwards(bool backwards) { backwards_ = backwards; }

 private:
  bool Fill(std::int64_t offset, std::size_t size);

  IndexSnapshot snapshot_;
  std::size_t read_ahead_;
  bool backwards_ = false;
  std::vector<std::uint8_t> buffer_;
  std::int64_t buffer_offset_ = 0;
  std::size_t buffer_size_ = 0;
};

// The times the stamps of a snapshot give, in milliseconds since 1970 UTC, as the converter's
// layouts and the filter language read them (capture/stamp_clock.h): a binary stamp its value,
// a text stamp the time it is written in, if it is written as one. A text stamp's frame is read
// when first asked for; the answers are kept.
class StampTimes {
 public:
  explicit StampTimes(IndexSnapshot snapshot);
  // Stamp k (-1: before the first stamp, which gives nothing).
  std::optional<std::int64_t> Millis(std::int64_t k);
  // The time of frame (index number), that of the stamp in force.
  std::optional<std::int64_t> FrameMillis(std::int64_t frame) {
    return Millis(snapshot_.Frame(frame).StampNumber());
  }
  // A text stamp's text as its frame holds it (bytes); empty for a binary stamp.
  std::string Text(std::int64_t k);

 private:
  struct TextStamp {
    std::string text;
    std::optional<std::int64_t> millis;
  };
  const TextStamp& ReadText(std::int64_t k);

  IndexSnapshot snapshot_;
  FrameReader reader_;
  StoredFrame scratch_;
  std::unordered_map<std::int64_t, TextStamp> texts_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_READER_H_
