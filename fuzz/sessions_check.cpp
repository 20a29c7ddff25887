#include "fuzz/sessions_check.h"

#include <map>
#include <set>
#include <span>

#include "ax25/ax25_details.h"
#include "ax25/ax25_link.h"
#include "ax25/layer3.h"

namespace packscope::fuzz {
namespace {

constexpr std::uint8_t kFend = 0xC0;
constexpr std::uint8_t kFesc = 0xDB;

void AppendBlock(std::string& out, std::string_view call, int ssid, bool high, bool last) {
  for (std::size_t i = 0; i < 6; ++i) {
    out.push_back(static_cast<char>((i < call.size() ? call[i] : ' ') << 1));
  }
  out.push_back(static_cast<char>((high ? 0x80 : 0) | 0x60 | ssid << 1 | (last ? 1 : 0)));
}

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct Direction {
  std::int64_t bytes = 0;
  std::int64_t gaps = 0;
};

class Sink : public SessionSink {
 public:
  void OnData(const Session& s, int direction, std::int64_t frame,
              std::span<const std::uint8_t> data) override {
    Open(s);
    if (frame < s.first_frame || frame > s.last_frame) Fail(s, "data of a frame outside it");
    got[s.number][direction].bytes += static_cast<std::int64_t>(data.size());
  }
  void OnGap(const Session& s, int direction, std::int64_t frames) override {
    Open(s);
    if (frames <= 0) Fail(s, "a gap of no frames");
    got[s.number][direction].gaps += frames;
  }
  void OnEnd(const Session& s) override {
    if (!ended.insert(s.number).second) Fail(s, "ended twice");
    sessions.push_back(s);
  }
  void Open(const Session& s) {
    if (ended.count(s.number) > 0) Fail(s, "data after its end");
  }
  void Fail(const Session& s, const std::string& what) {
    if (error.empty()) error = "session " + std::to_string(s.number) + ": " + what;
  }

  std::map<std::int64_t, std::map<int, Direction>> got;
  std::set<std::int64_t> ended;
  std::vector<Session> sessions;
  std::string error;
};

}  // namespace

std::vector<std::string> SessionFrames(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> frames;
  if (size > 0 && (data[0] & 1) != 0) {
    static constexpr std::string_view kCalls[] = {"QQ1ABC", "QQ5BBS", "QQ9NOD"};
    static const int kPairs[4][2] = {{0, 1}, {1, 2}, {0, 2}, {1, 1}};
    std::size_t at = 1;
    while (at + 4 <= size) {
      const std::uint8_t how = data[at];
      const int* pair = kPairs[how & 3];
      const int from = pair[(how >> 2) & 1];
      const int to = pair[1 - ((how >> 2) & 1)];
      const bool command = (how & 0x40) != 0;
      const bool digi = (how & 0x10) != 0;
      std::string f(1, static_cast<char>((how & 0x08) << 1));
      AppendBlock(f, kCalls[to], to, command, false);
      AppendBlock(f, kCalls[from], from, !command, !digi);
      if (digi) AppendBlock(f, "QQ0DIG", 1, (how & 0x20) != 0, true);
      f.push_back(static_cast<char>(data[at + 1]));
      f.push_back(static_cast<char>(data[at + 2]));
      if ((how & 0x80) != 0) f.push_back('\xF0');
      const std::size_t length = data[at + 3] & 0x3F;
      at += 4;
      const std::size_t n = std::min(length, size - at);
      f.append(reinterpret_cast<const char*>(data + at), n);
      at += n;
      frames.push_back(std::move(f));
    }
    return frames;
  }
  // KISS: frames between FENDs, escapes undone.
  std::string frame;
  bool escape = false;
  bool open = false;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = data[i];
    if (b == kFend) {
      if (open && !frame.empty()) frames.push_back(frame);
      frame.clear();
      open = true;
      escape = false;
    } else if (escape) {
      frame.push_back(static_cast<char>(b == 0xDC ? kFend : b == 0xDD ? kFesc : b));
      escape = false;
    } else if (b == kFesc) {
      escape = true;
    } else if (open) {
      frame.push_back(static_cast<char>(b));
    }
  }
  if (open && !frame.empty()) frames.push_back(frame);
  return frames;
}

std::string CheckSessions(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> frames = SessionFrames(data, size);
  Sink sink;
  LinkTracker tracker(&sink);
  std::map<std::int64_t, std::int64_t> frames_of;  // session: frames with its number
  NetRomPacket netrom;
  std::string words;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto number = static_cast<std::int64_t>(i + 1);
    const std::span<const std::uint8_t> frame = Span(frames[i]);
    const LinkFacts& facts = tracker.Next(frame, number, number * 1000);
    if (facts.modulo != kModulo8 && facts.modulo != kModulo128) {
      return "frame " + std::to_string(number) + ": modulo " + std::to_string(facts.modulo);
    }
    if (facts.session < 0 || facts.session > tracker.SessionCount()) {
      return "frame " + std::to_string(number) + ": session " + std::to_string(facts.session);
    }
    if (facts.session > 0) ++frames_of[facts.session];
    const Ax25Details d = DescribeAx25(frame, facts.modulo);
    if (d.problem != Ax25Problem::kNone || !d.pid) continue;
    if (*d.pid == kPidNetRom && DecodeNetRom(d.info, netrom)) {
      const auto* begin = d.info.data();
      if (!netrom.data.empty() &&
          (netrom.data.data() < begin ||
           netrom.data.data() + netrom.data.size() > begin + d.info.size())) {
        return "frame " + std::to_string(number) + ": NET/ROM data outside the frame";
      }
    }
    words.clear();
    if (AppendLayer3Words(words, *d.pid, d.info)) {
      for (const char c : words) {
        if (c < 0x20 || c > 0x7E)
          return "frame " + std::to_string(number) + ": layer 3 line " + words;
      }
    }
  }
  tracker.Finish();
  if (!sink.error.empty()) return sink.error;
  if (static_cast<std::int64_t>(sink.sessions.size()) != tracker.SessionCount()) {
    return std::to_string(sink.sessions.size()) + " sessions ended of " +
           std::to_string(tracker.SessionCount());
  }
  for (const Session& s : sink.sessions) {
    const std::string n = "session " + std::to_string(s.number);
    if (s.frames != frames_of[s.number]) {
      return n + ": " + std::to_string(s.frames) + " frames, " +
             std::to_string(frames_of[s.number]) + " carry its number";
    }
    if (s.first_frame > s.last_frame || !s.start || !s.end || *s.start > *s.end) {
      return n + ": frames " + std::to_string(s.first_frame) + " to " +
             std::to_string(s.last_frame);
    }
    for (int dir = 0; dir < 2; ++dir) {
      const DirectionCounts& c = s.from[static_cast<std::size_t>(dir)];
      const Direction& got = sink.got[s.number][dir];
      if (got.bytes != c.bytes || got.gaps != c.missing) {
        return n + " direction " + std::to_string(dir) + ": counts " + std::to_string(c.bytes) +
               " bytes, " + std::to_string(c.missing) + " missing; handed on " +
               std::to_string(got.bytes) + " bytes, " + std::to_string(got.gaps) + " gaps";
      }
      if (c.retransmitted > c.i_frames) return n + ": more retransmitted than I frames";
    }
  }
  return "";
}

}  // namespace packscope::fuzz
