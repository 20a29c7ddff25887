// Connected sessions in the converter's layouts, over generated sessions whose every frame is
// known: modulo-128 frames read with two control bytes in jsonl, monitor and the filter, and the
// sessions layout against the jsonl layout's frames.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "capture/headless_window.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;

class SessionsLayoutTest : public testing::TempDirTest {
 protected:
  std::string Convert(const std::string& capture, std::string_view layout,
                      const std::string& expression = "") {
    DecoderState state;
    state.CaptureFileName = capture;
    std::optional<Filter> filter;
    std::optional<CaptureFilter> predicate;
    if (!expression.empty()) {
      filter = Filter::Parse(expression);
      EXPECT_TRUE(filter) << expression;
      if (!filter) return {};
      predicate.emplace(*filter);
      state.FrameFilter = &*predicate;
    }
    HeadlessWindow window;
    const std::string out = PathOf("out");
    EXPECT_TRUE(RunLayout(state, window, *FindLayout(layout), out)) << layout;
    return testing::ReadFile(out);
  }
  std::vector<json> Objects(const std::string& text) {
    std::vector<json> objects;
    for (const std::string& line : testing::Lines(text)) objects.push_back(json::parse(line));
    return objects;
  }
};

std::string HexOf(const std::string& bytes) {
  return HexTextTrimmed({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

TEST_F(SessionsLayoutTest, Modulo128FramesReadRightInEveryLayout) {
  gen::Options options;
  options.seed = 5;
  options.sessions = true;
  options.frames = 4000;
  options.mod128 = 100;
  options.monitor_loss = 0;  // every SABME heard: each session's modulo is known
  std::vector<gen::GeneratedFrame> record;
  const std::string capture =
      WriteCapture("c.kss", gen::GenerateCaptureBytes(options, &record, nullptr));
  std::map<std::int64_t, json> jsonl;
  for (const json& j : Objects(Convert(capture, "jsonl"))) jsonl[j["frame"]] = j;
  const std::vector<std::string> monitor = testing::Lines(Convert(capture, "monitor"));

  std::int64_t extended = 0;
  std::int64_t i_with_pid = 0;
  for (const gen::GeneratedFrame& f : record) {
    const json& j = jsonl.at(f.number);
    i_with_pid += f.kind == gen::FrameKind::kI && f.pid == 0xF0 ? 1 : 0;
    if (f.control2 < 0) continue;  // one control byte: U frames, and modulo 8 after a refusal
    SCOPED_TRACE(j.dump());
    ++extended;
    const bool i = f.kind == gen::FrameKind::kI;
    EXPECT_EQ(j["kind"], i ? "I" : "S");
    EXPECT_EQ(j["ns"], i ? json(f.control >> 1) : json());
    EXPECT_EQ(j["nr"], f.control2 >> 1);
    EXPECT_EQ(j["pf"], (f.control2 & 1) != 0);
    EXPECT_EQ(j["pid"], f.pid >= 0 ? json(f.pid) : json());
    EXPECT_EQ(j["payload_hex"], HexOf(f.info));
    EXPECT_TRUE(j["session"].is_number());
  }
  EXPECT_GT(extended, 500);

  // The monitor: each of those frames' line shows its 7-bit counters.
  std::size_t line = 0;
  for (const gen::GeneratedFrame& f : record) {
    // The line of the frame: past the APRS and NET/ROM lines under others.
    while (line < monitor.size() && monitor[line].starts_with("  ")) ++line;
    ASSERT_LT(line, monitor.size());
    if (f.control2 >= 0) {
      const std::string counters =
          f.kind == gen::FrameKind::kI
              ? "I ns=" + std::to_string(f.control >> 1) + " nr=" + std::to_string(f.control2 >> 1)
              : " nr=" + std::to_string(f.control2 >> 1);
      EXPECT_NE(monitor[line].find(counters), std::string::npos) << monitor[line];
    }
    ++line;
  }

  // The filter: the PID of an I frame lies behind its second control byte (modulo 128).
  EXPECT_EQ(static_cast<std::int64_t>(
                testing::Lines(Convert(capture, "jsonl", "type == I and pid == 0xF0")).size()),
            i_with_pid);
}

TEST_F(SessionsLayoutTest, SessionsAgreeWithTheJsonlFrames) {
  gen::Options options;
  options.seed = 6;
  options.sessions = true;
  options.frames = 6000;
  options.loss = 10;
  options.monitor_loss = 5;
  std::vector<gen::GeneratedFrame> record;
  const std::string capture =
      WriteCapture("c.kss", gen::GenerateCaptureBytes(options, &record, nullptr));
  const std::vector<json> frames = Objects(Convert(capture, "jsonl"));
  const std::vector<json> sessions = Objects(Convert(capture, "sessions"));
  ASSERT_GT(sessions.size(), 20u);

  struct Seen {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t frames = 0;
    std::map<std::string, std::map<std::string, std::int64_t>> by_source;  // source: type: n
  };
  std::map<std::int64_t, Seen> seen;
  for (const json& j : frames) {
    if (j["session"].is_null()) continue;
    Seen& s = seen[j["session"]];
    if (s.frames++ == 0) s.first = j["frame"];
    s.last = j["frame"];
    ++s.by_source[j["source"]][j["kind"] == "I" ? "I" : j["name"].get<std::string>()];
  }
  ASSERT_EQ(seen.size(), sessions.size());
  std::int64_t with_data = 0;
  for (const json& s : sessions) {
    SCOPED_TRACE(s.dump().substr(0, 300));
    const Seen& f = seen.at(s["session"]);
    EXPECT_EQ(s["first_frame"], f.first);
    EXPECT_EQ(s["last_frame"], f.last);
    EXPECT_EQ(s["frames"], f.frames);
    for (const auto& [side, who] :
         {std::pair("from_initiator", "initiator"), std::pair("from_responder", "responder")}) {
      const auto it = f.by_source.find(s[who]);
      const std::map<std::string, std::int64_t> none;
      const auto& types = it == f.by_source.end() ? none : it->second;
      const auto count = [&types](const char* type) {
        const auto t = types.find(type);
        return t == types.end() ? std::int64_t{0} : t->second;
      };
      // I frames digipeaters repeated are heard once each: no copies in generated captures.
      EXPECT_EQ(s[side]["i_frames"], count("I"));
      EXPECT_EQ(s[side]["rej"], count("REJ"));
      EXPECT_EQ(s[side]["rnr"], count("RNR"));
      with_data += s[side]["bytes"] > 0 ? 1 : 0;
    }
  }
  EXPECT_GT(with_data, 20);

  // A filter on one session writes that session alone, whole.
  const json& third = sessions[2];
  const std::vector<json> only =
      Objects(Convert(capture, "sessions", "session == " + third["session"].dump()));
  ASSERT_EQ(only.size(), 1u);
  EXPECT_EQ(only[0], third);
  // One on a station: the sessions it took part in, whole and in order.
  const std::string station = sessions[0]["initiator"];
  std::vector<json> involved;
  for (const json& s : sessions) {
    if (s["initiator"] == station || s["responder"] == station) involved.push_back(s);
  }
  EXPECT_EQ(Objects(Convert(capture, "sessions", "call == " + station + " and session")), involved);
}

}  // namespace
}  // namespace packscope
