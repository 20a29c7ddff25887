// CaptureInput: a capture as the frame loop reads it, whatever the file was. Every reader yields
// the KISS byte stream its input stands for, so that the KISS framing (capture/kiss_scanner.h),
// the frame index and every layout work on one kind of stream; an offset is always the byte
// offset in that decoded stream.
//
// OpenCaptureInput chooses the reader by the input's first bytes, never by its name:
//
//   1F 8B, FD "7zXZ" 00, 28 B5 2F FD, "BZh1".."BZh9"
//                      gzip, xz, zstd, bzip2 (libarchive, as the bytes stream): what the data
//                      holds inside is chosen again by its own first bytes
//   A1 B2 C3 D4, A1 B2 3C 4D (either byte order)
//                      pcap; 0A 0D 0D 0A pcapng (libpcap). Link types 202 (AX.25 with a KISS
//                      type byte) and 3 (AX.25, read as KISS port 0). Each packet becomes its
//                      frame, behind a binary stamp of its time in milliseconds whenever that
//                      differs from the packet before it. A time of 0 (1970-01-01 00:00:00.000,
//                      what the pcap layout writes for a frame without a time) is no time.
//   text lines         TNC2 lines (capture/tnc2_input.h) when the first line that is neither
//                      blank nor a "#" comment is one, and no FEND followed by a KISS data or
//                      timestamp type byte comes before that line ends
//   anything else      KISS, read as it is (C0 first, as a rule)
//
// The path "-" is standard input. A reader reports the damage it meets in its own terms (a
// pcap record cut off, a TNC2 line that is no frame, compressed data that ends early) and reads
// on where it can: nothing else is lost.
//
// Threads: an input is read by one thread at a time.
#ifndef PACKSCOPE_CAPTURE_CAPTURE_INPUT_H_
#define PACKSCOPE_CAPTURE_CAPTURE_INPUT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace packscope {

enum class InputFormat : std::uint8_t { kKiss, kPcap, kPcapng, kTnc2 };
enum class InputCompression : std::uint8_t { kNone, kGzip, kXz, kZstd, kBzip2 };

struct InputKind {
  InputFormat format = InputFormat::kKiss;
  InputCompression compression = InputCompression::kNone;
  friend bool operator==(const InputKind&, const InputKind&) = default;
};

// "KISS", "pcap", "pcapng", "TNC2 lines", with the compression behind: "pcap, gzip-compressed".
std::string InputKindName(const InputKind& kind);

// Damage that a reader met, in its own terms.
enum class InputDamageKind : std::uint8_t {
  kPcapRecord,  // a pcap or pcapng record (or block) that cannot be read, or holds a part only
  kTnc2Line,    // a line of a TNC2 file that is no frame
  kCompressed,  // compressed data that ends early or is damaged
};

struct InputDamage {
  InputDamageKind kind = InputDamageKind::kTnc2Line;
  // Where in the decoded stream the damage stands: behind the bytes of the frames before it.
  std::int64_t offset = 0;
  // What is wrong, for the user: "line 12 is no TNC2 frame: no \">\" behind the source".
  std::string text;
};

class CaptureInput {
 public:
  virtual ~CaptureInput() = default;

  // The next bytes of the decoded stream, up to size; 0 at its end. Waits for a stream's bytes
  // (see InputWait). Throws CaptureUnreadable, and PassCancelled when the wait was cancelled.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;

  // For progress: the input's size as stored (-1 when unknown: a stream), and how much of it the
  // reader has taken so far.
  virtual std::int64_t Size() const { return -1; }
  virtual std::int64_t Consumed() const = 0;

  virtual InputKind Kind() const = 0;

  // The damage met so far that was not taken yet, appended to out in the order of the stream.
  // A damage is met before Read hands out any byte behind it.
  virtual void TakeDamage(std::vector<InputDamage>& out) { (void)out; }
};

// How a reader of a stream (a FIFO, a device, standard input) waits for bytes: in slices of
// slice_ms, calling waiting after each slice without bytes and giving up with PassCancelled once
// *cancel is set. Without it the reader waits as long as the stream takes.
struct InputWait {
  const std::atomic<bool>* cancel = nullptr;
  std::function<void()> waiting;
  int slice_ms = 50;
};

// Opens the capture at path ("-": standard input) and its reader. wait, when given, must outlive
// the input. Throws CaptureUnreadable ("Cannot read the capture "/x.kss": No such file or
// directory.") and PassCancelled.
std::unique_ptr<CaptureInput> OpenCaptureInput(const std::string& path,
                                               const InputWait* wait = nullptr);

// The same choice of reader over bytes held in memory, named name in messages (tests, fuzz
// targets).
std::unique_ptr<CaptureInput> OpenCaptureBytes(std::string bytes, const std::string& name);

// The KISS file at path read as it is, without looking at its content (a copy of our own).
std::unique_ptr<CaptureInput> OpenKissInput(const std::string& path);

// The names captures of the formats above usually have, for the file dialogs' filters.
inline constexpr std::string_view kCaptureFilePatterns =
    "*.kss *.pcap *.pcapng *.cap *.tnc2.txt *.gz *.xz *.zst *.bz2";

// The capture's name in messages: Quoted(path), or "standard input" for "-".
std::string CaptureName(const std::string& path);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_CAPTURE_INPUT_H_
