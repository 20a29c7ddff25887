// The filter in every layout, the kiss layout's round trip and the stats layout, end to end over
// generated captures: each checked against a plain reading of the jsonl layout's objects (or of
// the unfiltered output), written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
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

std::string Aprs(const testing::Address& source, const std::string& info,
                 const std::string& destination = "APRS") {
  return Kiss(Ax25Frame({destination}, source, {}, 0x03, 0xF0, info));
}

// APRS fields the generator does not write. Before its traffic, without a stamp: a position and
// the telemetry definitions of the stations whose T# reports it writes. Behind it: Mic-E, an
// object and its kill, an item, third-party packets (one of them with an invalid field inside),
// invalid fields, and the same T# report in a UI frame with another PID and in an I frame.
std::string AprsBefore() {
  std::string out = Aprs({"QQ1ABC", 9}, "!4809.00N/01130.00E>before the first stamp");
  for (const std::string call : {"QQ0QQ", "QQ1ABC-9", "QQ2XY-7", "QQ3DEF", "QQ4GHI-10", "QQ5BBS-1",
                                 "QQ6LMN-5", "QQ7OP-15", "QQ8RST-2", "QQ9UV", "QQ0DIG-1"}) {
    const std::string to = ":" + call + std::string(9 - call.size(), ' ') + ":";
    const std::size_t dash = call.find('-');
    const testing::Address source{call.substr(0, dash),
                                  dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1))};
    out += Aprs(source, to + "PARM.Battery,Temp,Light,Wind,Level,Door,Alarm");
    out += Aprs(source, to + "UNIT.V,C,lx,m/s,cm,open,on");
    out += Aprs(source, to + "EQNS.0,0.1,0,0,0.5,-40,0,10,0,0,1,0,0,2,0");
  }
  return out;
}

std::string AprsBehind() {
  return Aprs({"QQ6LMN", 5}, "`c_Vm6hk/`\"49}truck_%", "T2SP0W") +
         Aprs({"QQ0QQ"}, ";LEADER   *092345z4810.50N/01130.75E>088/036") +
         Aprs({"QQ3DEF"}, ";LEADER   *092346z4810.60N/01130.85E>088/036") +
         Aprs({"QQ0QQ"}, ";LEADER   _092347z4810.70N/01130.95E>") +
         Aprs({"QQ0QQ"}, ")AID #2!4811.00N/01131.00EA") +
         Aprs({"QQ4GHI", 10}, "}QQ7OP-15>APRS,TCPIP,QQ4GHI-10*:=4801.12N\\01145.06En/A=000500") +
         Aprs({"QQ4GHI", 10}, "}QQ7OP-15>APRS,TCPIP,QQ4GHI-10*:!9101.12N\\01145.06En") +
         Aprs({"QQ2XY", 7}, "!4805.00N/01137.00E[/A=-00100") +
         Aprs({"QQ2XY", 7}, "@322345z4805.47N/01136.53E[") + Aprs({"QQ9UV"}, "T#500,10,20,30") +
         Kiss(Ax25Frame({"APRS"}, {"QQ9UV"}, {}, 0x03, 0xCF, "T#501,10,20,30")) +
         Kiss(Ax25Frame({"APRS"}, {"QQ9UV"}, {}, 0x00, 0xF0, "T#502,10,20,30"));
}

// Generated traffic (I, S, U and UI frames, digipeaters, binary stamps) between hand-made APRS
// fields, then a frame too short for AX.25, a KISS command frame, a text stamp and UI frames
// behind it.
std::string MixedCapture(std::uint64_t seed) {
  gen::Options options;
  options.seed = seed;
  options.frames = 300;
  options.mix = true;
  options.max_digis = 3;
  return AprsBefore() + gen::GenerateCaptureBytes(options) +
         Kiss(std::string("\x00\x82\xA0\xA4", 4)) + Kiss(std::string("\x01\x05", 2)) +
         Kiss(TextStamp("2016-01-01 13:00:00.000 UTC")) +
         Kiss(Ax25Frame({"APRS"}, {"QQ0QQ", 3}, {{"WIDE2", 2}}, 0x03, 0xF0, "Late")) + AprsBehind();
}

// What the jsonl layout's "aprs" object holds under a key, or null.
json AprsKey(const json& j, const std::string& key) {
  return j["aprs"].is_object() && j["aprs"].contains(key) ? j["aprs"][key] : json();
}

// An APRS error in the object or in the object of its third-party packet.
bool AprsError(const json& aprs) {
  return aprs.is_object() && (aprs.contains("error") || AprsError(aprs.value("inner", json())));
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
    // The monitor's second line under an APRS frame is indented.
    if (layout == "monitor" && text.compare(from, 2, "  ") == 0 && !pieces.empty()) {
      pieces.back() += text.substr(from, to + end.size() - from);
      continue;
    }
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
      {"aprs.type == position and aprs.lat > 48.1 and aprs.lon <= 11.55",
       [](const json& j) {
         return AprsKey(j, "type") == "position" && AprsKey(j, "lat").is_number() &&
                AprsKey(j, "lat") > 48.1 && AprsKey(j, "lon") <= 11.55;
       }},
      {"aprs.symbol == \"/>\" or aprs.type in {OBJECT, item, mic-e} or aprs.alive == false",
       [](const json& j) {
         const json t = AprsKey(j, "type");
         return AprsKey(j, "symbol") == "/>" || t == "object" || t == "item" || t == "mic-e" ||
                AprsKey(j, "alive") == false;
       }},
      {"aprs.addressee ~ \"^QQ[0-4]\" and aprs.text and not aprs.type == telemetry-definition",
       [](const json& j) {
         const json a = AprsKey(j, "addressee");
         return a.is_string() && a.get<std::string>().substr(0, 2) == "QQ" &&
                a.get<std::string>()[2] <= '4' && AprsKey(j, "text").is_string() &&
                AprsKey(j, "type") != "telemetry-definition";
       }},
      {"aprs.lat and not aprs.type == position",
       [](const json& j) {
         return AprsKey(j, "lat").is_number() && AprsKey(j, "type") != "position";
       }},
      {"not aprs.type or aprs.error",
       [](const json& j) { return j["aprs"].is_null() || AprsError(j["aprs"]); }},
      {"aprs.values.2 < 40 and aprs.weather.temp_c != 0 or aprs.altitude_m < 0 or "
       "aprs.weather.temp_c > 20",
       [](const json& j) {
         // A frame without one of the fields fails the test on it, != too.
         const json values = AprsKey(j, "values");
         const json weather = AprsKey(j, "weather");
         const bool temp = weather.is_object() && weather.contains("temp_c");
         return (values.is_array() && values.size() >= 2 && values[1] < 40 && temp &&
                 weather["temp_c"] != 0) ||
                (AprsKey(j, "altitude_m").is_number() && AprsKey(j, "altitude_m") < 0) ||
                (temp && weather["temp_c"] > 20);
       }},
      {"session == 2 or session and not type in {I, RR}",
       [&](const json& j) {
         return j["session"] == 2 ||
                (j["session"].is_number() && type(j) != "I" && type(j) != "RR");
       }},
      {"aprs.values.2 < 40 and not aprs.error",
       [](const json& j) {
         const json values = AprsKey(j, "values");
         return values.is_array() && values.size() >= 2 && values[1] < 40 && !AprsError(j["aprs"]);
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
  // included. The filter reads APRS in the window's layouts too.
  const std::string expression = "(" + cases[2].expression + ") or aprs.type == object";
  std::vector<bool> kept;
  for (const json& j : all) kept.push_back(cases[2].plain(j) || AprsKey(j, "type") == "object");
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

  // The telemetry definitions lie in the frames these filters turn down (the first reads APRS,
  // the second not): the reports kept are scaled and named as they are unfiltered.
  const auto scaled = [](const json& j) { return AprsKey(j, "values").is_array(); };
  EXPECT_GT(std::count_if(all.begin(), all.end(), scaled), 3);
  const std::vector<Case> drop_definitions = {
      {"aprs.type == telemetry", [](const json& j) { return AprsKey(j, "type") == "telemetry"; }},
      {"frame > 40", [](const json& j) { return j["frame"] > 40; }}};
  for (const Case& c : drop_definitions) {
    for (const std::string_view layout : {"jsonl", "monitor"}) {
      const std::vector<std::string> whole = PiecesPerFrame(layout, Convert(capture, layout));
      ASSERT_EQ(whole.size(), all.size()) << layout;
      std::vector<std::string> expected;
      for (std::size_t i = 0; i < whole.size(); ++i) {
        if (c.plain(all[i])) expected.push_back(whole[i]);
      }
      EXPECT_EQ(PiecesPerFrame(layout, Convert(capture, layout, c.expression)), expected)
          << layout << ", " << c.expression;
    }
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
            cut + ": 12 frames, damage 2 (bad-escape 1, frame-type 1), sender 1 (too-short 1)\n")
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
      if (j["source"].is_null()) {
        ++not_ax25;
        continue;
      }
      const std::string type = j["kind"] == "I"        ? "I"
                               : j["name"].is_string() ? j["name"].get<std::string>()
                                                       : "U code=" + j["code"].dump();
      types[type] = types.value(type, 0) + 1;
      json& s = stations[j["source"].get<std::string>()];
      if (s.is_null()) {
        s = {{"frames", 0},
             {"first_heard", nullptr},
             {"last_heard", nullptr},
             {"destinations", json::object()},
             {"paths", json::object()},
             {"aprs_types", json::object()},
             {"last_position", nullptr}};
      }
      s["frames"] = s["frames"].get<int>() + 1;
      if (j["stamp_ms"].is_number()) {
        const std::string when = Iso(j["stamp_ms"]);
        if (s["first_heard"].is_null() || when < s["first_heard"]) s["first_heard"] = when;
        if (s["last_heard"].is_null() || when > s["last_heard"]) s["last_heard"] = when;
      }
      if (j["aprs"].is_object()) {
        const std::string aprs_type = j["aprs"]["type"];
        s["aprs_types"][aprs_type] = s["aprs_types"].value(aprs_type, 0) + 1;
        if (AprsKey(j, "lat").is_number() && AprsKey(j, "lon").is_number() &&
            aprs_type != "object" && aprs_type != "item" && aprs_type != "third-party") {
          s["last_position"] = {
              {"lat", j["aprs"]["lat"]}, {"lon", j["aprs"]["lon"]}, {"time", j["time"]}};
        }
      }
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
  // In the order of the layout's object, which is --check's.
  const nlohmann::ordered_json findings =
      nlohmann::ordered_json::parse(Convert(capture, "stats"))["findings"];
  const std::string summary = report.text.substr(report.text.rfind(capture + ": "));
  int total = 0;
  for (const auto& [tag, n] : findings.items()) {
    if (n != 0) {
      EXPECT_NE(summary.find(tag + " " + n.dump()), std::string::npos) << summary << tag;
    }
    total += n.get<int>();
  }
  EXPECT_GT(total, 0);
}

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << command;
  }
  return out;
}

std::string Fixed1(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string Fixed6(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

// A point as gpsbabel's unicsv writes it: latitude, longitude, altitude, date and time.
struct GpxPoint {
  std::string lat;
  std::string lon;
  std::optional<double> ele;
  std::string date;  // 2016/01/01
  std::string time;  // 12:34:56.789, 12:34:56 for whole seconds
};

bool operator==(const GpxPoint& a, const GpxPoint& b) {
  return a.lat == b.lat && a.lon == b.lon && a.ele.has_value() == b.ele.has_value() &&
         (!a.ele || std::abs(*a.ele - *b.ele) < 0.051) && a.date == b.date && a.time == b.time;
}

void PrintTo(const GpxPoint& p, std::ostream* os) {
  *os << p.lat << " " << p.lon << " " << (p.ele ? std::to_string(*p.ele) : "-") << " " << p.date
      << " " << p.time;
}

// The gpx layout read back by gpsbabel and xmllint (against the GPX 1.1 structure): the places
// the jsonl objects give, by the rules of the layout (a station's own positions, objects and
// items apart, a third-party packet's position its inner source's); a place heard at one
// position a waypoint with its last report, one that moved a track.
TEST_F(FilterLayoutsTest, GpxPlacesReadBackAsTheJsonlPositions) {
  if (!Installed("gpsbabel") || !Installed("xmllint")) {
    GTEST_SKIP() << "gpsbabel or xmllint is not installed (scripts/install-deps test)";
  }
  // A station that stays put with the same report, and one at one place that changes its mind
  // about the rest: waypoints with the last report's comment and symbol.
  const std::string extra =
      Kiss(BinaryStamp(1451660000000)) +
      Kiss(Ax25Frame({"APRS"}, {"QQ7FIX"}, {}, 0x03, 0xF0, "!4810.00N/01130.00E-home")) +
      Kiss(Ax25Frame({"APRS"}, {"QQ7FIX"}, {}, 0x03, 0xF0, "!4810.00N/01130.00E#digi now"));
  const std::string capture = WriteCapture("c.kss", MixedCapture(31) + extra);
  struct Place {
    std::vector<GpxPoint> points;
    std::string comment;
    std::string symbol;
  };
  for (const std::string expression :
       {"", "src == QQ1ABC-* or aprs.type in {object, item, third-party}"}) {
    std::map<std::pair<int, std::string>, Place> places;
    for (const json& j : Objects(capture, expression)) {
      json a = j["aprs"];
      std::string station = j["source"].is_string() ? j["source"].get<std::string>() : "";
      while (a.is_object() && a["type"] == "third-party" && a.contains("inner")) {
        station = a["inner"]["source"];
        a = a["inner"];
      }
      if (!a.is_object() || !a.contains("lat") || !a.contains("lon")) continue;
      const int kind = a["type"] == "object" ? 1 : a["type"] == "item" ? 2 : 0;
      GpxPoint p{Fixed6(a["lat"]), Fixed6(a["lon"]), std::nullopt, "", ""};
      if (a.contains("altitude_m")) p.ele = a["altitude_m"].get<double>();
      if (j["time"].is_string()) {
        const std::string t = j["time"];  // 2016-01-01T12:34:56.789Z
        p.date = t.substr(0, 4) + "/" + t.substr(5, 2) + "/" + t.substr(8, 2);
        p.time = t.substr(11, 8) + (t.substr(20, 3) == "000" ? "" : t.substr(19, 4));
      }
      Place& place = places[{kind, kind == 0 ? station : a["name"].get<std::string>()}];
      place.points.push_back(p);
      place.comment = a.value("comment", "");
      place.symbol = a.value("symbol", "");
    }
    std::vector<GpxPoint> track_points;
    std::vector<std::vector<std::string>> waypoints;  // as gpsbabel's unicsv gives them
    std::string comments;                             // as xmllint gives them
    std::string track_names;
    for (const auto& [key, place] : places) {
      const bool moved = std::any_of(place.points.begin(), place.points.end(), [&](const auto& p) {
        return p.lat != place.points[0].lat || p.lon != place.points[0].lon;
      });
      if (moved) {
        track_points.insert(track_points.end(), place.points.begin(), place.points.end());
        track_names += key.second + "\n";
        continue;
      }
      const GpxPoint& last = place.points.back();
      waypoints.push_back({last.lat, last.lon, key.second, last.ele ? Fixed1(*last.ele) : "",
                           place.symbol, last.date, last.time});
      if (!place.comment.empty()) comments += "<cmt>" + place.comment + "</cmt>\n";
    }
    ASSERT_GT(track_names.size(), 3u) << expression;
    ASSERT_FALSE(waypoints.empty()) << expression;

    const std::string gpx = PathOf("out.gpx");
    testing::WriteFile(gpx, Convert(capture, "gpx", expression));
    EXPECT_EQ(std::system(("xmllint --noout --schema '" PACKSCOPE_TEST_DATA "/gpx-1.1.xsd' '" +
                           gpx + "' 2> /dev/null")
                              .c_str()),
              0)
        << expression;
    EXPECT_EQ(Output("xmllint --xpath \"//*[local-name()='trk']/*[local-name()='name']\" '" + gpx +
                     "' | sed 's|</name>|\\n|g; s|<name>||g' | grep -v '^$'"),
              track_names)
        << expression;
    // CSV cells, quoted ones unquoted.
    const auto cells = [](const std::string& line) {
      std::vector<std::string> out(1);
      bool quoted = false;
      for (std::size_t i = 0; i < line.size() && line[i] != '\r'; ++i) {
        if (line[i] == '"') {
          if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
            out.back().push_back('"');
            ++i;
          } else {
            quoted = !quoted;
          }
        } else if (line[i] == ',' && !quoted) {
          out.emplace_back();
        } else {
          out.back().push_back(line[i]);
        }
      }
      return out;
    };
    // Columns by name: gpsbabel leaves out those no point has.
    const auto read = [&](const std::string& what, const std::vector<std::string>& names) {
      const std::vector<std::string> rows =
          testing::Lines(Output("gpsbabel " + what + " -i gpx -f '" + gpx + "' -o unicsv -F -"));
      std::vector<std::vector<std::string>> out;
      if (rows.empty()) return out;
      const std::vector<std::string> header = cells(rows[0]);
      for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string> row = cells(rows[i]);
        std::vector<std::string> picked;
        for (const std::string& name : names) {
          const auto at = std::find(header.begin(), header.end(), name);
          const auto k = static_cast<std::size_t>(at - header.begin());
          picked.push_back(at == header.end() || k >= row.size() ? std::string() : row[k]);
        }
        out.push_back(picked);
      }
      return out;
    };
    std::vector<GpxPoint> got;
    for (const auto& row : read("-t", {"Latitude", "Longitude", "Altitude", "Date", "Time"})) {
      got.push_back(GpxPoint{row[0], row[1],
                             row[2].empty() ? std::nullopt : std::optional(std::stod(row[2])),
                             row[3], row[4]});
    }
    EXPECT_EQ(got, track_points) << expression;
    EXPECT_EQ(read("-w", {"Latitude", "Longitude", "Name", "Altitude", "Symbol", "Date", "Time"}),
              waypoints)
        << expression;
    EXPECT_EQ(Output("xmllint --xpath \"//*[local-name()='wpt']/*[local-name()='cmt']\" '" + gpx +
                     "' 2> /dev/null; true"),
              comments)
        << expression;
  }
}

// Records of RFC 4180 CSV (CR LF between records, fields quoted where they hold a comma, a
// double quote or a line break); an empty list when the text is not such CSV.
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record(1);
  for (std::size_t i = 0; i < text.size();) {
    std::string& field = record.back();
    if (text[i] == '"' && field.empty()) {
      for (++i;; ++i) {
        if (i >= text.size()) return {};
        if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
        if (text[i] == '"') ++i;
        field.push_back(text[i]);
      }
      ++i;
      if (i < text.size() && text[i] != ',' && text[i] != '\r') return {};
    } else if (text[i] == ',') {
      record.emplace_back();
      ++i;
    } else if (text.compare(i, 2, "\r\n") == 0) {
      records.push_back(std::move(record));
      record.assign(1, "");
      i += 2;
    } else {
      if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') return {};
      field.push_back(text[i++]);
    }
  }
  if (record.size() != 1 || !record[0].empty()) return {};  // no CR LF behind the last record
  return records;
}

// The series layout's records as the jsonl objects of the same frames give them: per frame the
// position keys, the "weather" object's keys in its order, the telemetry values (scaled where
// the object has "values") and the digital bits, of whom the packet tells.
TEST_F(FilterLayoutsTest, SeriesRecordsAreTheJsonlValues) {
  const std::map<std::string, std::string> units = {{"lat", "deg"},
                                                    {"lon", "deg"},
                                                    {"altitude_m", "m"},
                                                    {"speed_kmh", "km/h"},
                                                    {"course", "deg"},
                                                    {"wind_dir", "deg"},
                                                    {"wind_speed_kmh", "km/h"},
                                                    {"gust_kmh", "km/h"},
                                                    {"temp_c", "degC"},
                                                    {"rain_1h_mm", "mm"},
                                                    {"rain_24h_mm", "mm"},
                                                    {"rain_midnight_mm", "mm"},
                                                    {"humidity", "%"},
                                                    {"pressure_hpa", "hPa"},
                                                    {"luminosity", "W/m2"}};
  gen::Options telemetry;
  telemetry.seed = 8;
  telemetry.frames = 1500;
  telemetry.telemetry = true;
  telemetry.stamps = gen::StampForm::kText;
  gen::Options unstamped = telemetry;
  unstamped.stamps = gen::StampForm::kNone;
  unstamped.seed = 9;
  // Texts that want quoting: a name with a comma and a double quote, a PARM name with a quote.
  const std::string quoted = Aprs({"QQ0QQ"}, ")A\"B,C!4811.00N/01131.00EA") +
                             Aprs({"QQ7OP", 15}, ":QQ7OP-15 :PARM.Vbat \"main\",Temp") +
                             Aprs({"QQ7OP", 15}, "T#001,120,033");
  const struct {
    std::string name;
    std::string capture;
    std::string expression;
  } cases[] = {
      {"mixed traffic, definitions first", MixedCapture(5), ""},
      {"definitions among the traffic", gen::GenerateCaptureBytes(telemetry) + quoted, ""},
      {"filtered", gen::GenerateCaptureBytes(telemetry),
       "src == QQ3DEF or aprs.type == telemetry and src == QQ1ABC-9"},
      {"no stamps", quoted + gen::GenerateCaptureBytes(unstamped), "not aprs.type == status"},
  };
  std::set<std::string> quantities;                     // "quantity unit"
  std::map<std::string, std::set<std::string>> places;  // per station
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string capture = WriteCapture("c.kss", c.capture);
    std::vector<std::vector<std::string>> expected = {
        {"time", "frame", "source", "quantity", "value", "unit"}};
    for (const std::string& line : testing::Lines(Convert(capture, "jsonl", c.expression))) {
      const nlohmann::ordered_json j = nlohmann::ordered_json::parse(line);
      nlohmann::ordered_json a = j["aprs"];
      if (!a.is_object()) continue;
      std::string source = j["source"];
      while (a["type"] == "third-party" && a.contains("inner")) {
        source = a["inner"]["source"];
        a = a["inner"];
      }
      if (a["type"] == "object" || a["type"] == "item") source = a.value("name", "");
      const auto add = [&](const std::string& quantity, const std::string& value,
                           const std::string& unit) {
        expected.push_back({j["time"].is_string() ? j["time"].get<std::string>() : "",
                            j["frame"].dump(), source, quantity, value, unit});
        quantities.insert(quantity + " " + unit);
      };
      for (const std::string key : {"lat", "lon", "altitude_m", "speed_kmh", "course"}) {
        if (a.contains(key)) add(key, a[key].dump(), units.at(key));
      }
      if (a.contains("lat")) places[source].insert(a["lat"].dump() + "," + a["lon"].dump());
      const auto weather = a.value("weather", nlohmann::ordered_json::object());
      for (const auto& [key, value] : weather.items()) add(key, value.dump(), units.at(key));
      const auto names = a.value("names", nlohmann::ordered_json::array());
      const auto unit_texts = a.value("units", nlohmann::ordered_json::array());
      const auto channel = [&](std::size_t i, const std::string& label, const std::string& value) {
        const std::string name = i < names.size() ? names[i].get<std::string>() : "";
        add(name.empty() ? label : name, value,
            i < unit_texts.size() ? unit_texts[i].get<std::string>() : "");
      };
      const auto analog =
          a.contains("values") ? a["values"] : a.value("analog", nlohmann::ordered_json::array());
      for (std::size_t i = 0; i < analog.size(); ++i) {
        channel(i, "A" + std::to_string(i + 1), analog[i].dump());
      }
      const std::string bits = a.value("digital", "");
      for (std::size_t k = 0; k < bits.size(); ++k) {
        channel(5 + k, "B" + std::to_string(k + 1), std::string(1, bits[k]));
      }
    }
    EXPECT_EQ(CsvRecords(Convert(capture, "series", c.expression)), expected);
  }
  // What the captures are made for: named, unnamed and quoted telemetry, weather, a moving
  // station.
  for (const std::string q : {"Battery V", "Humidity %", "A1 ", "B8 ", "Vbat \"main\" ",
                              "temp_c degC", "speed_kmh km/h"}) {
    EXPECT_EQ(quantities.count(q), 1u) << q;
  }
  EXPECT_GT(places["QQ1ABC-9"].size(), 3u);
  EXPECT_EQ(places.count("A\"B,C"), 1u);
}

}  // namespace
}  // namespace packscope
