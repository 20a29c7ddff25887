#include "fuzz/input_check.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "ax25/ax25_details.h"
#include "ax25/tnc2_text.h"
#include "capture/capture_input.h"
#include "capture/errors.h"
#include "capture/kiss_scanner.h"

namespace packscope::fuzz {
namespace {

struct Reading {
  std::string error;  // the input could not be opened: why
  InputKind kind;
  std::string stream;
  std::vector<InputDamage> damage;
};

// Reads the input in pieces: all of size piece, or (piece 0) of sizes 1 to 97 in turn.
Reading Read(const std::string& bytes, std::size_t piece) {
  Reading r;
  std::unique_ptr<CaptureInput> input;
  try {
    input = OpenCaptureBytes(bytes, "fuzz");
  } catch (const CaptureUnreadable& e) {
    r.error = e.what();
    return r;
  }
  r.kind = input->Kind();
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(piece, 97));
  for (std::size_t turn = 0;; ++turn) {
    const std::size_t size = piece > 0 ? piece : 1 + turn % 97;
    const std::size_t n = input->Read(buffer.data(), size);
    r.stream.append(reinterpret_cast<const char*>(buffer.data()), n);
    input->TakeDamage(r.damage);
    if (n == 0) break;
  }
  return r;
}

std::string Same(const Reading& a, const Reading& b) {
  if (a.error != b.error) return "opened: \"" + a.error + "\" and \"" + b.error + "\"";
  if (!(a.kind == b.kind))
    return "read as " + InputKindName(a.kind) + " and " + InputKindName(b.kind);
  if (a.stream != b.stream) {
    return "streams of " + std::to_string(a.stream.size()) + " and " +
           std::to_string(b.stream.size()) + " bytes differ";
  }
  if (a.damage.size() != b.damage.size()) return "a different number of damages";
  for (std::size_t i = 0; i < a.damage.size(); ++i) {
    if (a.damage[i].offset != b.damage[i].offset || a.damage[i].text != b.damage[i].text ||
        a.damage[i].kind != b.damage[i].kind) {
      return "damage " + std::to_string(i + 1) + " differs: " + a.damage[i].text;
    }
  }
  return {};
}

// The frames of a stream that must be clean KISS, or what is wrong with it.
class CleanFrames {
 public:
  std::string Read(const std::string& stream) {
    KissScanner scanner;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    if (!scanner.Scan(*this, bytes, stream.size(), 0) ||
        !scanner.Finish(*this, static_cast<std::int64_t>(stream.size()))) {
      return "a frame too long";
    }
    return problem_;
  }
  const std::vector<std::string>& Frames() const { return frames_; }
  const std::vector<std::int64_t>& Ends() const { return ends_; }

  void OnSkipped(std::int64_t) { Fail("bytes skipped"); }
  void OnFrameStart(std::int64_t, bool recovered) {
    if (recovered) Fail("a frame recovered");
    frame_.clear();
  }
  void OnData(const std::uint8_t* b, std::size_t n, std::int32_t) {
    frame_.append(reinterpret_cast<const char*>(b), n);
  }
  void OnStored(const std::uint8_t*, std::size_t) {}
  void OnStrayEscape(std::int64_t) { Fail("a stray escape"); }
  void OnFrameEnd(const KissFrameEnd& end) {
    if (!end.closed) Fail("a frame cut off");
    frames_.push_back(frame_);
    ends_.push_back(end.end);
  }
  void OnTooLong() {}

 private:
  void Fail(const std::string& what) {
    if (problem_.empty()) problem_ = "the stream holds " + what;
  }
  std::string frame_;
  std::vector<std::string> frames_;
  std::vector<std::int64_t> ends_;
  std::string problem_;
};

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace

std::string CheckInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const Reading whole = Read(bytes, 1 << 20);
  for (const std::size_t piece : {std::size_t{0}, std::size_t{4096}}) {
    const std::string difference = Same(whole, Read(bytes, piece));
    if (!difference.empty())
      return "read whole and in pieces of " + std::to_string(piece) + ": " + difference;
  }
  if (!whole.error.empty() || whole.kind.format == InputFormat::kKiss) {
    // KISS is handed on as it is, damage and all; the capture checker looks at its frames.
    for (const InputDamage& d : whole.damage) {
      if (d.kind != InputDamageKind::kCompressed) return "KISS with damage: " + d.text;
    }
    return {};
  }
  CleanFrames frames;
  const std::string problem = frames.Read(whole.stream);
  if (!problem.empty()) return problem;
  std::int64_t last = 0;
  for (const InputDamage& d : whole.damage) {
    if (d.offset < last) return "damage out of order: " + d.text;
    last = d.offset;
    if (d.offset != 0 &&
        std::find(frames.Ends().begin(), frames.Ends().end(), d.offset) == frames.Ends().end()) {
      return "damage inside a frame: " + d.text;
    }
  }
  if (whole.kind.format != InputFormat::kTnc2) return {};
  std::string line;
  for (const std::string& frame : frames.Frames()) {
    if (frame.empty()) return "an empty frame";
    if (static_cast<std::uint8_t>(frame[0]) == kTimestampType) {
      if (frame.size() != 9) return "a stamp of " + std::to_string(frame.size()) + " bytes";
      continue;
    }
    const Ax25Details d = DescribeAx25(Span(frame));
    line.clear();
    if (!AppendTnc2Line(line, d)) return "a frame of a TNC2 line has no line of its own";
    std::vector<std::uint8_t> again{static_cast<std::uint8_t>(frame[0])};
    std::string why;
    if (!ParseTnc2Line(line, again, why)) return "the line \"" + line + "\" is no line: " + why;
    if (std::string(again.begin(), again.end()) != frame) {
      return "the line \"" + line + "\" reads back as another frame";
    }
  }
  return {};
}

}  // namespace packscope::fuzz
