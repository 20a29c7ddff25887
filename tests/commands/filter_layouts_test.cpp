// The filter in every layout, the kiss layout's round trip and the stats layout, end to end over
// generated captures: each checked against a plain reading of the jsonl layout's objects (or of
// the unfiltered output), written here.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "capture/headless_window.h"
#include "commands/commands.h"
#include "commands/frame_text.h"
#include "commands/health_check.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::TextStamp;

// Generated traffic (I, S, U and UI frames, digipeaters, binary stamps), then a frame too short
// for AX.25, a KISS command frame, a text stamp and a UI frame behind it.
std::string MixedCapture(std::uint64_t seed) {
  gen::Options options;
  options.seed = seed;
  options.frames = 300;
  options.mix = true;
  options.max_digis = 3;
  return gen::GenerateCaptureBytes(options) + Kiss(std::string("\x00\x82\xA0\xA4", 4)) +
         Kiss(std::string("\x01\x05", 2)) + Kiss(TextStamp("2016-01-01 13:00:00.000 UTC")) +
         Kiss(Ax25Frame({"APRS"}, {"QQ0QQ", 3}, {{"WIDE2", 2}}, 0x03, 0xF0, "Late"));
}

std::string Bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string Base(const std::string& call) { return call.substr(0, call.find('-')); }

// "2016-01-01T12:34:56.789Z"
std::string Iso(std::int64_t millis) {
  std::string text = IsoStampText(millis);
  text[10] = 'T';
  return text + "Z";
}

class FilterLayoutsTest : public testing::TempDirTest {
 protected:
  // The layout's output over the capture, through the filter when there is one.
  std::string Convert(const std::string& capture, std::string_view layout,
                      const std::string& expression = "") {
    DecoderState state;
    state.CaptureFileName = capture;
    std::optional<Filter> filter;
    std::optional<CaptureFilter> predicate;
    if (!expression.empty()) {
      FilterError error;
      filter = Filter::Parse(expression, &error);
      EXPECT_TRUE(filter) << error.Text();
      if (!filter) return {};
      predicate.emplace(*filter);
      state.FrameFilter = &*predicate;
    }
    HeadlessWindow window;
    const std::string out = PathOf("out");
    EXPECT_TRUE(RunLayout(state, window, *FindLayout(layout), out))
        << layout << ": " << (window.Errors().empty() ? "" : window.Errors().front());
    return testing::ReadFile(out);
  }

  std::vector<json> Objects(const std::string& capture, const std::string& expression = "") {
    std::vector<json> objects;
    for (const std::string& line : testing::Lines(Convert(capture, "jsonl", expression))) {
      objects.push_back(json::parse(line));
    }
    return objects;
  }
};

// Each layout's output cut into one piece per frame that is not a timestamp frame.
std::vector<std::string> PiecesPerFrame(std::string_view layout, const std::string& text) {
  std::vector<std::string> pieces;
  if (layout == "pcap") {
    for (std::size_t at = 24; at + 16 <= text.size();) {
      const std::size_t length = static_cast<std::uint8_t>(text[at + 8]) |
                                 static_cast<std::size_t>(static_cast<std::uint8_t>(text[at + 9]))
                                     << 8;
      pieces.push_back(text.substr(at, 16 + length));
      at += 16 + length;
    }
    return pieces;
  }
  // Lines, or for the screen the blocks that end with the separator.
  const std::string end = layout == "screen" ? std::string(80, '_') + "\r\n" : "\n";
  std::size_t from = layout == "hex-complete" || layout == "hex-kissframe"
                         ? text.find('\n', text.find('\n') + 1) + 1
                         : 0;
  for (std::size_t to; (to = text.find(end, from)) != std::string::npos; from = to + end.size()) {
    pieces.push_back(text.substr(from, to + end.size() - from));
  }
  return pieces;
}

struct Case {
  std::string expression;
  std::function<bool(const json&)> plain;  // the same test, read off a jsonl object
};

TEST_F(FilterLayoutsTest, EveryLayoutWritesTheFramesAPlainReadingOfJsonlSelects) {
  const std::string capture = WriteCapture("c.kss", MixedCapture(11));
  const std::vector<json> all = Objects(capture);
  ASSERT_GT(all.size(), 300u);
  const auto digis = [](const json& j, const std::function<bool(const json&)>& pred) {
    if (!j["digipeaters"].is_array()) return false;
    for (const json& d : j["digipeaters"]) {
      if (pred(d)) return true;
    }
    return false;
  };
  const auto type = [](const json& j) -> std::string {
    if (j["kind"].is_null()) return "";
    return j["kind"] == "I" ? "I" : j["name"].is_null() ? "" : j["name"].get<std::string>();
  };
  const std::int64_t from = all[100]["stamp_ms"].get<std::int64_t>();
  const std::int64_t to = all[200]["stamp_ms"].get<std::int64_t>();
  const std::vector<Case> cases = {
      {"src == QQ2XY-*",
       [](const json& j) { return j["source"].is_string() && Base(j["source"]) == "QQ2XY"; }},
      {"src == QQ5BBS-1 and type in {I, RR, SABM} or type == 3",
       [&](const json& j) {
         const std::string t = type(j);
         return (j["source"] == "QQ5BBS-1" && (t == "I" || t == "RR" || t == "SABM")) ||
                (j["kind"] == "U" && j["code"] == 3);
       }},
      {"via == WIDE2-* or repeated == RELAY",
       [&](const json& j) {
         return digis(j, [](const json& d) { return Base(d["call"]) == "WIDE2"; }) ||
                digis(j, [](const json& d) { return d["call"] == "RELAY" && d["repeated"]; });
       }},
      {"time >= " + Iso(from) + " and time < " + Iso(to),
       [&](const json& j) {
         return j["stamp_ms"].is_number() && j["stamp_ms"].get<std::int64_t>() >= from &&
                j["stamp_ms"].get<std::int64_t>() < to;
       }},
      {"len > 100 and pid == 0xF0 or problem",
       [](const json& j) {
         const auto len = (j["frame_hex"].get<std::string>().size() + 1) / 3 - 1;
         return (len > 100 && j["pid"] == 240) || !j["problem"].is_null();
       }},
      {"info ~ \"^[A-M]\" and not call == QQ0DIG-1",
       [](const json& j) {
         if (!j["payload_hex"].is_string()) return false;
         const std::string info = Bytes(j["payload_hex"]);
         for (const json& d : j["digipeaters"]) {
           if (d["call"] == "QQ0DIG-1") return false;
         }
         return !info.empty() && info[0] >= 'A' && info[0] <= 'M' && j["source"] != "QQ0DIG-1" &&
                j["destination"] != "QQ0DIG-1";
       }},
      {"frame > 100 and frame <= 300 and port == 0 and not type == UI",
       [&](const json& j) {
         return j["frame"] > 100 && j["frame"] <= 300 && j["port"] == 0 && !j["kind"].is_null() &&
                type(j) != "UI";
       }},
  };
  for (const Case& c : cases) {
    std::vector<std::int64_t> expected;
    for (const json& j : all) {
      if (c.plain(j)) expected.push_back(j["frame"]);
    }
    std::vector<std::int64_t> got;
    for (const json& j : Objects(capture, c.expression)) got.push_back(j["frame"]);
    EXPECT_EQ(got, expected) << c.expression;
    EXPECT_GT(expected.size(), 0u) << c.expression;
    EXPECT_LT(expected.size(), all.size()) << c.expression;
  }

  // Every layout writes for a kept frame exactly what it writes for it unfiltered: its own stamp
  // included.
  const std::string expression = cases[2].expression;
  std::vector<bool> kept;
  for (const json& j : all) kept.push_back(cases[2].plain(j));
  for (const std::string_view layout :
       {"jsonl", "monitor", "pcap", "screen", "hex-complete", "hex-kissframe", "hex-payload",
        "hex-payload-time", "ascii-payload-time"}) {
    const std::vector<std::string> whole = PiecesPerFrame(layout, Convert(capture, layout));
    ASSERT_EQ(whole.size(), all.size()) << layout;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      if (kept[i]) expected.push_back(whole[i]);
    }
    EXPECT_EQ(PiecesPerFrame(layout, Convert(capture, layout, expression)), expected) << layout;
  }
}

// Frames and stamps as a pass hands them on: each frame's bytes and the stamp it carries.
std::vector<std::pair<std::string, std::string>> FramesAndStamps(const std::string& capture,
                                                                 const std::string& expression) {
  DecoderState state;
  state.CaptureFileName = capture;
  state.OutputMode = kNoWindowOutput;
  std::optional<Filter> filter;
  std::optional<CaptureFilter> predicate;
  if (!expression.empty()) {
    filter = Filter::Parse(expression);
    predicate.emplace(*filter);
    state.FrameFilter = &*predicate;
  }
  testing::FrameRecorder recorder;
  state.Observer = &recorder;
  HeadlessWindow window;
  ReadCapture(state, window);
  std::vector<std::pair<std::string, std::string>> out;
  for (const testing::RecordedFrame& f : recorder.frames) {
    if (!f.info.timestamp) out.emplace_back(f.frame_hex, f.stamp_text);
  }
  return out;
}

TEST_F(FilterLayoutsTest, TheKissLayoutReadsBackAsTheSameFramesBytesAndStamps) {
  const std::string a = Ax25Frame({"APRS"}, {"QQ1QQ"}, {}, 0x03, 0xF0, std::string("a\xC0\xDB", 3));
  const std::string b = Ax25Frame({"APRS"}, {"QQ2QQ"}, {}, 0x03, 0xF0, "b");
  // Bytes before the first FEND, a stamp frame that sets nothing, a frame behind garbage (which
  // is a frame of its own, recovered), a bad escape, a text stamp, a cut-off last frame.
  const std::string bytes =
      "junk" + Kiss(a) + Kiss(BinaryStamp(1451651696789)) + Kiss(b) + Kiss(a) +
      Kiss("\x09no time") + "xx" + Kiss(a) + Kiss(BinaryStamp(1451651700000)) + Kiss(b) + "\xC0" +
      Ax25Frame({"CQ"}, {"QQ1QQ"}, {}, 0x03, 0xF0, "x\xDBy") + "\xC0" +
      Kiss(TextStamp("2016-01-01 12:40:00.000 UTC")) + Kiss(b) + Kiss(a).substr(0, 12);
  const std::string capture = WriteCapture("c.kss", bytes);
  for (const std::string expression : {"src == QQ1QQ", "problem", ""}) {
    const std::string cut = WriteCapture("cut.kss", Convert(capture, "kiss", expression));
    const auto want = FramesAndStamps(capture, expression);
    EXPECT_EQ(FramesAndStamps(cut, ""), want) << expression;
    EXPECT_GE(want.size(), 2u) << expression;
  }
  // Unfiltered, the capture comes back normalised: --check finds only what lies inside frames
  // (the garbage "xx" is a frame of type 0x78, the bad escape, the frame cut short), nothing
  // skipped, recovered or cut off; the stamp frame that sets nothing is gone.
  const std::string cut = WriteCapture("cut.kss", Convert(capture, "kiss"));
  DecoderState state;
  HeadlessWindow window;
  struct Report : LineSink {
    void Write(std::string_view s) override { text.append(s); }
    std::string text;
  } report;
  CheckCapture(state, window, cut, report);
  EXPECT_EQ(report.text.substr(report.text.rfind(cut + ": ")),
            cut + ": 12 frames, 3 findings (bad-escape 1, frame-type 1, too-short 1)\n")
      << report.text;
}

TEST_F(FilterLayoutsTest, StatsCountWhatJsonlShows) {
  const std::string capture = WriteCapture("c.kss", MixedCapture(23));
  for (const std::string expression : {"", "via or type != UI"}) {
    const json stats = json::parse(Convert(capture, "stats", expression));
    const std::vector<json> frames = Objects(capture, expression);
    json stations = json::object();
    json types = json::object();
    std::map<std::int64_t, std::int64_t> minutes;
    std::int64_t not_ax25 = 0;
    for (const json& j : frames) {
      if (j["stamp_ms"].is_number()) ++minutes[j["stamp_ms"].get<std::int64_t>() / 60000];
      if (!j["problem"].is_null()) {
        ++not_ax25;
        continue;
      }
      const std::string type = j["kind"] == "I"        ? "I"
                               : j["name"].is_string() ? j["name"].get<std::string>()
                                                       : "U code=" + j["code"].dump();
      types[type] = types.value(type, 0) + 1;
      json& s = stations[j["source"].get<std::string>()];
      if (s.is_null())
        s = {{"frames", 0}, {"destinations", json::object()}, {"paths", json::object()}};
      s["frames"] = s["frames"].get<int>() + 1;
      const std::string when = Iso(j["stamp_ms"]);
      if (!s.contains("first_heard") || when < s["first_heard"]) s["first_heard"] = when;
      if (!s.contains("last_heard") || when > s["last_heard"]) s["last_heard"] = when;
      std::string path;
      for (const json& d : j["digipeaters"]) {
        path +=
            (path.empty() ? "" : ",") + d["call"].get<std::string>() + (d["repeated"] ? "*" : "");
      }
      if (path.empty()) path = "direct";
      s["destinations"][j["destination"].get<std::string>()] =
          s["destinations"].value(j["destination"].get<std::string>(), 0) + 1;
      s["paths"][path] = s["paths"].value(path, 0) + 1;
    }
    json per_minute = json::array();
    for (const auto& [minute, n] : minutes) {
      per_minute.push_back({Iso(minute * 60000).substr(0, 16) + "Z", n});
    }
    EXPECT_EQ(stats["frames"], frames.size()) << expression;
    EXPECT_EQ(stats["frames_not_ax25"], not_ax25) << expression;
    EXPECT_EQ(stats["stations"], stations) << expression;
    EXPECT_EQ(stats["frame_types"], types) << expression;
    EXPECT_EQ(stats["frames_per_minute"], per_minute) << expression;
    EXPECT_EQ(stats["stamps"], 301);
    EXPECT_EQ(stats["first_stamp"], "2016-01-01T12:34:56.789Z");
    EXPECT_EQ(stats["last_stamp"], "2016-01-01T13:00:00.000Z");
  }
  // Unfiltered, the findings are those of --check.
  DecoderState state;
  HeadlessWindow window;
  struct Report : LineSink {
    void Write(std::string_view s) override { text.append(s); }
    std::string text;
  } report;
  CheckCapture(state, window, capture, report);
  const json findings = json::parse(Convert(capture, "stats"))["findings"];
  std::string summary;
  int total = 0;
  for (const auto& [tag, n] : findings.items()) {
    if (n != 0) summary += (summary.empty() ? "" : ", ") + tag + " " + n.dump();
    total += n.get<int>();
  }
  EXPECT_GT(total, 0);
  EXPECT_NE(report.text.find(std::to_string(total) + " findings (" + summary + ")\n"),
            std::string::npos)
      << report.text << summary;
}

}  // namespace
}  // namespace packscope
