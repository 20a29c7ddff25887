// The jsonl layout: one JSON object per frame that is not a timestamp frame, one object a line
// (JSON Lines, LF). Every object has every key, null where a value does not apply:
//
//   {"frame":3,"offset":41,"stamp":"1 Jan 2016 12:34:56.789 UTC","stamp_ms":1451651696789,
//    "port":0,"command":0,"destination":"CQ","source":"QQ0QQ-1",
//    "digipeaters":[{"call":"RELAY","repeated":true},{"call":"WIDE2-1","repeated":false}],
//    "cr":"command","kind":"U","name":"UI","code":0,"ns":null,"nr":null,"pf":false,
//    "pid":240,"pid_name":"No layer 3","payload_hex":"41 42 43","frame_hex":"00 86 A2 ...",
//    "problem":null}
//
// frame: FrameCount, every frame of the capture counted (timestamp frames too), as in the health
// report. offset: of the frame's opening FEND. stamp: StampText as the window shows it (null
// before the first stamp); stamp_ms: the time the frame carries (StampClock). port, command: the
// type byte's nibbles (null for an empty frame). The AX.25 keys are null when "problem" says why
// the frame cannot be read as AX.25; ns and nr are read modulo 8.
#include <charconv>
#include <optional>

#include "cli/frame_text.h"
#include "cli/layouts.h"
#include "render/codepage.h"
#include "render/hex.h"

namespace packscope {
namespace {

std::string_view RoleName(Ax25Role role) {
  switch (role) {
    case Ax25Role::kCommand:
      return "command";
    case Ax25Role::kResponse:
      return "response";
    case Ax25Role::kUnknown:
      break;
  }
  return {};
}

// The line is written as a JSON serializer writes it without blanks: keys in the order given,
// integers in decimal, strings with '"', '\\', the control characters \b \f \n \r \t as such
// and every other one below 0x20 as \u00xx, the rest as it is. The strings here are UTF-8 by
// construction: ASCII (calls, names, hex text, problems) or converted from the code page.
class JsonLine {
 public:
  explicit JsonLine(std::string& out) : out_(out) {}

  void Key(std::string_view key) {
    out_.push_back(first_ ? '{' : ',');
    first_ = false;
    out_.push_back('"');
    out_.append(key);
    out_.append("\":");
  }
  void Null() { out_.append("null"); }
  void Bool(bool value) { out_.append(value ? "true" : "false"); }
  void Number(std::int64_t value) {
    char buf[24];
    out_.append(buf,
                static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf));
  }
  void String(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out_.push_back('"');
    std::size_t run = 0;  // start of the characters not yet written
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != '"' && c != '\\') continue;
      out_.append(text.substr(run, i - run));
      run = i + 1;
      switch (c) {
        case '"':
          out_.append("\\\"");
          break;
        case '\\':
          out_.append("\\\\");
          break;
        case '\b':
          out_.append("\\b");
          break;
        case '\f':
          out_.append("\\f");
          break;
        case '\n':
          out_.append("\\n");
          break;
        case '\r':
          out_.append("\\r");
          break;
        case '\t':
          out_.append("\\t");
          break;
        default: {
          const char u[6] = {'\\', 'u', '0', '0', kDigits[c >> 4], kDigits[c & 15]};
          out_.append(u, sizeof u);
        }
      }
    }
    out_.append(text.substr(run));
    out_.push_back('"');
  }
  void StringOrNull(std::string_view text) {
    if (text.empty()) {
      Null();
    } else {
      String(text);
    }
  }
  template <typename T>
  void NumberOrNull(const std::optional<T>& value) {
    if (value) {
      Number(*value);
    } else {
      Null();
    }
  }
  void End() { out_.append(first_ ? "{}" : "}"); }

 private:
  std::string& out_;
  bool first_ = true;
};

class JsonlWriter : public FrameWriter {
 public:
  explicit JsonlWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      clock_.Update(state);
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    const bool data = IsDataFrame(frame);
    if (data) {
      details_ = DescribeAx25(frame);
    } else {
      details_ = Ax25Details();
    }
    const Ax25Details& d = details_;
    const std::string problem = FrameProblem(frame, d);
    const bool ax25 = problem.empty();

    line_.clear();
    JsonLine j(line_);
    j.Key("frame");
    j.Number(state.FrameCount);
    j.Key("offset");
    j.Number(state.FrameOffset);
    j.Key("stamp");
    if (state.StampText.empty()) {
      j.Null();
    } else {
      // Stamp texts are the window's single-byte text; JSON wants UTF-8. Converted once per
      // stamp, into a buffer kept between frames.
      if (stamp_source_ != state.StampText) {
        stamp_source_ = state.StampText;
        stamp_utf8_.clear();
        AppendCp1252AsUtf8(stamp_utf8_, stamp_source_);
      }
      j.String(stamp_utf8_);
    }
    j.Key("stamp_ms");
    j.NumberOrNull(clock_.Millis());
    j.Key("port");
    if (frame.empty()) {
      j.Null();
    } else {
      j.Number(KissPort(frame[0]));
    }
    j.Key("command");
    if (frame.empty()) {
      j.Null();
    } else {
      j.Number(KissCommand(frame[0]));
    }
    if (ax25) {
      j.Key("destination");
      j.String(d.destination.call);
      j.Key("source");
      j.String(d.source.call);
      j.Key("digipeaters");
      line_.push_back('[');
      for (int i = 0; i < d.digipeater_count; ++i) {
        const Ax25Address& a = d.digipeaters[static_cast<std::size_t>(i)];
        if (i > 0) line_.push_back(',');
        JsonLine digi(line_);
        digi.Key("call");
        digi.String(a.call);
        digi.Key("repeated");
        digi.Bool(a.high_bit);
        digi.End();
      }
      line_.push_back(']');
      j.Key("cr");
      j.StringOrNull(RoleName(d.role));
      j.Key("kind");
      j.String(KindLetter(d.kind));
      j.Key("name");
      j.StringOrNull(d.name);
      j.Key("code");
      if (d.kind == Ax25Kind::kI) {
        j.Null();
      } else {
        j.Number(d.type_code);
      }
      j.Key("ns");
      j.NumberOrNull(d.ns);
      j.Key("nr");
      j.NumberOrNull(d.nr);
      j.Key("pf");
      j.Bool(d.poll_final);
      j.Key("pid");
      j.NumberOrNull(d.pid);
      j.Key("pid_name");
      if (d.pid) {
        j.StringOrNull(PidName(*d.pid));
      } else {
        j.Null();
      }
      j.Key("payload_hex");
      HexTrimmed(j, d.info);
    } else {
      for (const char* key : {"destination", "source", "digipeaters", "cr", "kind", "name", "code",
                              "ns", "nr", "pf", "pid", "pid_name", "payload_hex"}) {
        j.Key(key);
        j.Null();
      }
    }
    j.Key("frame_hex");
    HexTrimmed(j, frame);
    j.Key("problem");
    j.StringOrNull(problem);
    j.End();
    line_.push_back('\n');
    out_.Write(line_);
  }

 private:
  // The hex text of bytes without its final blank, as a string.
  void HexTrimmed(JsonLine& j, std::span<const std::uint8_t> bytes) {
    hex_.clear();
    AppendHexText(hex_, bytes.data(), bytes.size());
    if (!hex_.empty()) hex_.pop_back();
    j.String(hex_);
  }

  LineSink& out_;
  StampClock clock_;
  Ax25Details details_;
  std::string stamp_source_;  // StampText whose UTF-8 text stamp_utf8_ is
  std::string stamp_utf8_;
  std::string hex_;
  std::string line_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeJsonlWriter(LineSink& out) {
  return std::make_unique<JsonlWriter>(out);
}

}  // namespace packscope
