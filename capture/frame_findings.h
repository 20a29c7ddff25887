// What is wrong with a capture, finding by finding: the one place that decides it, for the
// health report (packscope-convert --check), the jsonl and stats layouts, the filter language's
// `problem` and `damage` fields and the frame list. Findings are of two kinds:
//
//   damage   the recording is not what the TNC sent: what the KISS layer (or a reader of another
//            format) saw go wrong, and stamps that cannot be right
//   sender   a sender departed from the protocol: frames that are not valid AX.25, APRS fields
//            that break the APRS rules (the recording holds them as they were sent)
//
// --check fails only on damage (or on either with --strict). What is neither: an empty frame
// (two FENDs in a row, which KISS allows and many TNCs send before every frame) and a KISS
// command frame (TXDELAY ... SETHARDWARE, RETURN, and the multi-drop ACKMODE and POLL): legal
// KISS, no AX.25 frame, no finding. The rows, by tag:
//
//   skipped           damage  bytes before the first FEND (no frame)
//   recovered         damage  a frame read behind a shared FEND or garbage        (any frame)
//   bad-escape        damage  FESC followed by neither TFEND nor TFESC, or last   (any frame)
//   cut-off           damage  a last frame ended by the end of the file           (any frame)
//   frame-type        damage  a type byte that is no data frame, KISS command or the stamp 0x09
//   time-backwards    damage  a stamp earlier than the one before it              (stamps)
//   time-before-2000  damage  a stamp before 2000-01-01                           (stamps)
//   pcap-record       damage  a pcap or pcapng packet cut off, captured in part or too long
//                             (a reader's own damage, capture/capture_input.h: no frame)
//   tnc2-line         damage  a line of a TNC2 file that is no frame              (no frame)
//   compressed        damage  compressed data that ends early or is damaged       (no frame)
//   too-short         sender  a data frame that ends before its control byte
//   address-end       sender  no address end mark within the 10 address blocks AX.25 allows
//   callsign          sender  an address with characters outside A-Z, 0-9 and blank (one per
//                             address)
//   aprs              sender  an APRS frame whose field is invalid (AprsPacket::error, of the
//                             packet or of a third-party packet inside it)
//
// A new kind of finding is a new Finding and a new row of kFindingRows.
#ifndef PACKSCOPE_CAPTURE_FRAME_FINDINGS_H_
#define PACKSCOPE_CAPTURE_FRAME_FINDINGS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"
#include "capture/frame_loop.h"

namespace packscope {

enum class Finding : std::uint8_t {
  kSkipped,
  kRecovered,
  kBadEscape,
  kCutOff,
  kFrameType,
  kTimeBackwards,
  kTimeBefore2000,
  kPcapRecord,
  kTnc2Line,
  kCompressed,
  kTooShort,
  kAddressEnd,
  kCallsign,
  kAprs,
};
inline constexpr int kFindingCount = 14;

enum class FindingKind : std::uint8_t {
  kDamage,  // to the recording
  kSender,  // a sender's departure from AX.25 or APRS
};
inline constexpr int kFindingKindCount = 2;

// Where a finding is read: the layer whose rule it breaks.
enum class FindingLayer : std::uint8_t { kRecording, kAx25, kAprs };

struct FindingRow {
  std::string_view tag;
  FindingLayer layer;
  bool on_frame;  // a frame can have it (not skipped bytes, not a stamp's time)

  constexpr FindingKind Kind() const {
    return layer == FindingLayer::kRecording ? FindingKind::kDamage : FindingKind::kSender;
  }
};

// One row per Finding, in its order (the order of --check's summary).
inline constexpr std::array<FindingRow, kFindingCount> kFindingRows = {{
    {"skipped", FindingLayer::kRecording, false},
    {"recovered", FindingLayer::kRecording, true},
    {"bad-escape", FindingLayer::kRecording, true},
    {"cut-off", FindingLayer::kRecording, true},
    {"frame-type", FindingLayer::kRecording, true},
    {"time-backwards", FindingLayer::kRecording, false},
    {"time-before-2000", FindingLayer::kRecording, false},
    {"pcap-record", FindingLayer::kRecording, false},
    {"tnc2-line", FindingLayer::kRecording, false},
    {"compressed", FindingLayer::kRecording, false},
    {"too-short", FindingLayer::kAx25, true},
    {"address-end", FindingLayer::kAx25, true},
    {"callsign", FindingLayer::kAx25, true},
    {"aprs", FindingLayer::kAprs, true},
}};

inline constexpr const FindingRow& RowOf(Finding f) {
  return kFindingRows[static_cast<std::size_t>(f)];
}
inline constexpr std::string_view FindingTag(Finding f) { return RowOf(f).tag; }

// The finding of a reader's damage (capture/capture_input.h).
inline constexpr Finding FindingOf(InputDamageKind kind) {
  switch (kind) {
    case InputDamageKind::kPcapRecord:
      return Finding::kPcapRecord;
    case InputDamageKind::kTnc2Line:
      return Finding::kTnc2Line;
    case InputDamageKind::kCompressed:
      break;
  }
  return Finding::kCompressed;
}
inline constexpr FindingKind KindOf(Finding f) { return RowOf(f).Kind(); }

// "damage", "sender": the word --check writes before a finding's tag.
inline constexpr std::string_view FindingKindName(FindingKind kind) {
  return kind == FindingKind::kDamage ? "damage" : "sender";
}

// A data frame: its type byte's command nibble is 0 (on any KISS port).
inline bool IsDataFrame(std::span<const std::uint8_t> kiss_frame) {
  return !kiss_frame.empty() && KissCommand(kiss_frame[0]) == 0;
}

// A KISS command frame: TXDELAY (1), P (2), SLOTTIME (3), TXTAIL (4), FULLDUPLEX (5),
// SETHARDWARE (6) on any port, RETURN (0xFF), and ACKMODE (0xC) and POLL (0xE) of the multi-drop
// extension. Not the stamp 0x09, which the frame loop reads as a timestamp frame.
inline bool IsKissCommandFrame(std::span<const std::uint8_t> kiss_frame) {
  if (kiss_frame.empty()) return false;
  const int command = KissCommand(kiss_frame[0]);
  return (command >= 1 && command <= 6) || command == 0xC || command == 0xE ||
         kiss_frame[0] == 0xFF;
}

// The findings of one frame.
struct FrameFindings {
  std::uint16_t kinds = 0;  // bit n: Finding n
  int bad_escapes = 0;      // bad-escape: how many FESCs were kept as data bytes
  // callsign: the addresses at fault; bit 0 destination, bit 1 source, bit 2 + i digipeater i.
  std::uint16_t bad_callsigns = 0;

  bool Has(Finding f) const { return ((kinds >> static_cast<int>(f)) & 1) != 0; }
  bool Any() const { return kinds != 0; }
  // Whether the frame has a finding of that kind.
  bool Any(FindingKind kind) const;
  // How many findings of kind f the frame has (--check writes a line for each).
  int Count(Finding f) const;
  void Add(Finding f) { kinds = static_cast<std::uint16_t>(kinds | (1u << static_cast<int>(f))); }
};

// The findings of the frame kiss_frame (un-escaped, type byte first) that the frame loop
// described with info. details is DescribeAx25 of the frame; it is read only for a data frame.
// aprs is the frame's APRS decoding (FrameAprs::Read), nullptr for a frame that is no APRS frame
// or whose APRS was not read (then it has no aprs finding). A timestamp frame has only the
// findings of its framing (recovered, bad-escape, cut-off); its time is StampCheck's.
FrameFindings FindFrameFindings(std::span<const std::uint8_t> kiss_frame, const FrameInfo& info,
                                const Ax25Details& details, const AprsPacket* aprs);

// The time findings of the stamps of one pass, in capture order.
class StampCheck {
 public:
  struct Result {
    bool before_2000 = false;
    bool backwards = false;
    std::optional<std::int64_t> previous;  // the stamp before this one
  };
  // A stamp's time, milliseconds since 1970.
  Result Check(std::int64_t millis);

 private:
  std::optional<std::int64_t> last_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_FINDINGS_H_
