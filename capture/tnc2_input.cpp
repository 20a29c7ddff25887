// Files of TNC2 lines (ax25/tnc2_text.h), one frame per line, as kissutil, APRS-IS clients and
// the raw views of APRS sites write them. A line may stand behind a time or kissutil's port:
//
//   2024-05-01 12:34:56[.mmm][ UTC|Z|+HH:MM|-HH:MM][:]  SRC>DST,PATH:info    ("T" may stand for
//                                                                            the first blank)
//   [P] SRC>DST,PATH:info                      kissutil: KISS port P (0..15)
//   [P 2024-05-01 12:34:56] SRC>DST,PATH:info  kissutil -T: its time, when it has a date
//
// Times without a zone are UTC; a time of day without a date (kissutil's -T %H:%M:%S) is not
// taken. Each time becomes a binary stamp in front of the line's frame (unless the frame before
// carried the same millisecond); a line without a time carries the time of the line before, as
// the frames behind a stamp do in a KISS capture. Lines end with LF, CR LF or CR. Blank lines and
// lines that begin with "#" (APRS-IS servers' comments) are no frames and no damage; every other
// line that is no TNC2 line is damage, "line N is no TNC2 frame: ...", and is skipped.
#include <algorithm>
#include <cstring>
#include <optional>

#include "ax25/tnc2_text.h"
#include "capture/decoder_state.h"
#include "capture/input_bytes.h"
#include "capture/kiss_scanner.h"
#include "capture/stamp_clock.h"

namespace packscope::input_internal {
namespace {

constexpr std::size_t kBlock = 1 << 16;
// A line longer than this is no frame, whatever it holds: a frame's information field written
// with every byte as <0xHH> stays well below it.
constexpr std::size_t kLongestLine = 8 * static_cast<std::size_t>(kMaxFrameLength);
constexpr std::size_t kGuessWindow = 1 << 16;

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool IsComment(std::string_view line) { return !line.empty() && line[0] == '#'; }

// A zone behind a date and time: its offset from UTC in minutes.
std::optional<int> ReadZone(std::string_view text, std::size_t& pos) {
  const std::string_view rest = text.substr(pos);
  for (const std::string_view utc : {" UTC", " GMT", "Z"}) {
    if (rest.substr(0, utc.size()) == utc) {
      pos += utc.size();
      return 0;
    }
  }
  if (rest.size() >= 5 && (rest[0] == '+' || rest[0] == '-')) {
    const auto digit = [&](std::size_t i) { return rest[i] >= '0' && rest[i] <= '9'; };
    const bool colon = rest.size() >= 6 && rest[3] == ':';
    const std::size_t m = colon ? 4 : 3;
    if (digit(1) && digit(2) && digit(m) && digit(m + 1)) {
      const int hours = (rest[1] - '0') * 10 + (rest[2] - '0');
      const int minutes = (rest[m] - '0') * 10 + (rest[m + 1] - '0');
      if (hours <= 23 && minutes <= 59) {
        pos += m + 2;
        return (rest[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
      }
    }
  }
  return std::nullopt;
}

// A date and time with its zone at text[pos], as milliseconds since 1970 UTC.
std::optional<std::int64_t> ReadTime(std::string_view text, std::size_t& pos) {
  std::size_t at = pos;
  const std::optional<std::int64_t> local = ReadDateTime(text, at, text.size());
  if (!local) return std::nullopt;
  const int zone = ReadZone(text, at).value_or(0);
  pos = at;
  return *local - std::int64_t{zone} * 60000;
}

// What stands in front of the TNC2 text of a line.
struct LinePrefix {
  std::size_t text = 0;      // where the TNC2 text begins
  std::int64_t millis = -1;  // the line's time; -1: none
  int port = 0;
};

bool ReadPrefix(std::string_view line, LinePrefix& prefix, std::string& why) {
  std::size_t pos = 0;
  if (!line.empty() && line[0] == '[') {
    // kissutil: "[P]" or "[P time]".
    pos = 1;
    int port = 0;
    std::size_t digits = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 3) {
      port = port * 10 + (line[pos++] - '0');
      ++digits;
    }
    const std::size_t close = line.find(']', pos);
    if (digits == 0 || port > 15 || close == std::string_view::npos ||
        (close != pos && line[pos] != ' ')) {
      why = "a \"[\" that opens no KISS port 0..15 (\"[0]\", \"[0 time]\")";
      return false;
    }
    if (close != pos) {
      std::size_t at = pos + 1;
      const std::string_view inside = line.substr(0, close);
      const std::optional<std::int64_t> millis = ReadTime(inside, at);
      if (millis && at == close) prefix.millis = *millis;
    }
    prefix.port = port;
    pos = close + 1;
  } else if (const std::optional<std::int64_t> millis = ReadTime(line, pos)) {
    if (pos < line.size() && line[pos] == ':') ++pos;
    if (pos >= line.size() || (line[pos] != ' ' && line[pos] != '\t')) {
      why = "no blank behind the time in front";
      return false;
    }
    prefix.millis = *millis;
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  prefix.text = pos;
  return true;
}

// The KISS frame of a line: type byte (port, data) and the AX.25 frame. False with why.
bool LineFrame(std::string_view line, LinePrefix& prefix, std::vector<std::uint8_t>& frame,
               std::string& why) {
  if (!ReadPrefix(line, prefix, why)) return false;
  frame.assign(1, static_cast<std::uint8_t>(prefix.port << 4));
  if (!ParseTnc2Line(line.substr(prefix.text), frame, why)) return false;
  if (frame.size() > static_cast<std::size_t>(kMaxFrameLength)) {
    why = "its frame would be longer than " + std::to_string(kMaxFrameLength) + " bytes";
    return false;
  }
  return true;
}

class Tnc2Input : public DecodingInput {
 public:
  explicit Tnc2Input(std::unique_ptr<InputChain> chain)
      : DecodingInput(std::move(chain), InputFormat::kTnc2) {}

 protected:
  bool Produce(std::vector<std::uint8_t>& out) override {
    std::string_view line;
    bool too_long = false;
    if (!NextLine(line, too_long)) return false;
    ++number_;
    if (too_long) {
      Fault("it is longer than " + std::to_string(kLongestLine) + " bytes");
      return true;
    }
    if (IsBlank(line) || IsComment(line)) return true;
    LinePrefix prefix;
    std::string why;
    if (!LineFrame(line, prefix, frame_, why)) {
      Fault(why);
      return true;
    }
    AppendFrame(out, frame_, prefix.millis);
    return true;
  }

 private:
  void Fault(const std::string& why) {
    Damage(InputDamageKind::kTnc2Line,
           "line " + std::to_string(number_) + " is no TNC2 frame: " + why);
  }

  // Reads more bytes behind those held; false at the end.
  bool More() {
    if (at_ > 0) {
      held_.erase(0, at_);
      at_ = 0;
    }
    const std::size_t old = held_.size();
    held_.resize(old + kBlock);
    const std::size_t n =
        Chain().top->Read(reinterpret_cast<std::uint8_t*>(held_.data() + old), kBlock);
    held_.resize(old + n);
    return n > 0;
  }

  // The next line, without its end; false at the end of the input. A line longer than
  // kLongestLine is read to its end but not kept (too_long). The line stays valid until the
  // next call.
  bool NextLine(std::string_view& line, bool& too_long) {
    too_long = false;
    std::size_t scanned = 0;  // bytes behind at_ that hold no line end
    for (;;) {
      if (skip_lf_ && at_ < held_.size()) {
        skip_lf_ = false;
        if (held_[at_] == '\n') ++at_;
      }
      if (!skip_lf_) {
        const std::size_t end = held_.find_first_of("\r\n", at_ + scanned);
        if (end != std::string::npos) {
          line = std::string_view(held_).substr(at_, end - at_);
          too_long = too_long || line.size() > kLongestLine;
          skip_lf_ = held_[end] == '\r';
          at_ = end + 1;
          return true;
        }
        scanned = held_.size() - at_;
        if (scanned > kLongestLine) {  // read on to the line's end, keeping nothing
          too_long = true;
          at_ = held_.size();
          scanned = 0;
        }
      }
      if (!More()) {
        skip_lf_ = false;
        if (at_ == held_.size() && !too_long) return false;
        line = std::string_view(held_).substr(at_);
        at_ = held_.size();
        return true;
      }
    }
  }

  std::string held_;
  std::size_t at_ = 0;
  bool skip_lf_ = false;  // the last line ended with CR: an LF behind it ends nothing more
  std::int64_t number_ = 0;
  std::vector<std::uint8_t> frame_;
};

}  // namespace

std::unique_ptr<CaptureInput> MakeTnc2Input(std::unique_ptr<InputChain> chain) {
  return std::make_unique<Tnc2Input>(std::move(chain));
}

Tnc2Guess GuessTnc2(std::string_view peeked, bool at_end) {
  const bool whole = at_end || peeked.size() >= kGuessWindow;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = peeked.find_first_of("\r\n", pos);
    const std::string_view line =
        peeked.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    // A FEND in front of a KISS data or timestamp type byte: the start of a KISS frame.
    for (std::size_t i = pos; i + 1 < peeked.size() && i < pos + line.size() + 1; ++i) {
      const auto type = static_cast<std::uint8_t>(peeked[i + 1]);
      if (peeked[i] == '\xC0' && ((type & 0x0F) == 0 || type == kTimestampType)) {
        return Tnc2Guess::kNo;
      }
    }
    if (end == std::string_view::npos && !whole) return Tnc2Guess::kMore;
    if (!IsBlank(line) && !IsComment(line)) {
      LinePrefix prefix;
      std::vector<std::uint8_t> frame;
      std::string why;
      return LineFrame(line, prefix, frame, why) ? Tnc2Guess::kYes : Tnc2Guess::kNo;
    }
    if (end == std::string_view::npos || pos >= kGuessWindow) return Tnc2Guess::kNo;
    pos = end + 1;
  }
}

}  // namespace packscope::input_internal
