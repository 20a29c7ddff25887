// What is wrong with a capture, finding by finding: the one place that decides it, for the
// health report (packscope-convert --check), the statistics layout and the filter language's
// `problem` field. The kinds, by tag:
//
//   skipped           bytes before the first FEND (no frame)
//   recovered         a frame read behind a shared FEND or garbage          (any frame)
//   bad-escape        FESC followed by neither TFEND nor TFESC, or last     (any frame)
//   cut-off           a last frame ended by the end of the file             (any frame)
//   empty             a frame of no bytes
//   frame-type        a type byte whose command nibble is neither data (0) nor the stamp 0x09
//   too-short         a data frame that ends before its control byte
//   address-end       no address end mark within the 10 address blocks AX.25 allows
//   callsign          an address with characters outside A-Z, 0-9 and blank (one per address)
//   aprs              an APRS frame whose field is invalid (AprsPacket::error, of the packet or
//                     of a third-party packet inside it)
//   time-backwards    a stamp earlier than the one before it                (timestamp frames)
//   time-before-2000  a stamp before 2000-01-01                             (timestamp frames)
//   pcap-record       a pcap or pcapng packet cut off, captured in part or too long (no frame)
//   tnc2-line         a line of a TNC2 file that is no frame                (no frame)
//   compressed        compressed data that ends early or is damaged         (no frame)
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
  kEmpty,
  kFrameType,
  kTooShort,
  kAddressEnd,
  kCallsign,
  kAprs,
  kTimeBackwards,
  kTimeBefore2000,
  kPcapRecord,
  kTnc2Line,
  kCompressed,
};
inline constexpr int kFindingCount = 15;

// The tags, in the order of Finding (the order of --check's summary).
inline constexpr std::array<std::string_view, kFindingCount> kFindingTags = {
    "skipped",        "recovered",        "bad-escape",  "cut-off",   "empty",
    "frame-type",     "too-short",        "address-end", "callsign",  "aprs",
    "time-backwards", "time-before-2000", "pcap-record", "tnc2-line", "compressed",
};

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

inline constexpr std::string_view FindingTag(Finding f) {
  return kFindingTags[static_cast<std::size_t>(f)];
}

// A data frame: its type byte's command nibble is 0 (on any KISS port).
inline bool IsDataFrame(std::span<const std::uint8_t> kiss_frame) {
  return !kiss_frame.empty() && KissCommand(kiss_frame[0]) == 0;
}

// The findings of one frame.
struct FrameFindings {
  std::uint16_t kinds = 0;  // bit n: Finding n
  int bad_escapes = 0;      // bad-escape: how many FESCs were kept as data bytes
  // callsign: the addresses at fault; bit 0 destination, bit 1 source, bit 2 + i digipeater i.
  std::uint16_t bad_callsigns = 0;

  bool Has(Finding f) const { return ((kinds >> static_cast<int>(f)) & 1) != 0; }
  bool Any() const { return kinds != 0; }
  // How many findings of kind f the frame has (--check writes a line for each).
  int Count(Finding f) const;
  void Add(Finding f) { kinds = static_cast<std::uint16_t>(kinds | (1u << static_cast<int>(f))); }
};

// The findings of the frame kiss_frame (un-escaped, type byte first) that the frame loop
// described with info. details is DescribeAx25 of the frame; it is read only for a data frame.
// aprs is the frame's APRS decoding (FrameAprs::Read), nullptr for a frame that is no APRS frame
// or whose APRS was not read. A timestamp frame has only the findings of its framing
// (recovered, bad-escape, cut-off); its time is StampCheck's.
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
