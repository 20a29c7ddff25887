#include "framelist/follow_connection.h"

#include <algorithm>

#include "ax25/ax25_link.h"
#include "capture/errors.h"
#include "capture/output_file.h"
#include "framelist/frame_reader.h"
#include "render/codepage.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 1u << 20;
constexpr std::int64_t kStep = 1 << 12;  // frames between looks at the cancel flag

// Collects the data of the tracker's first session (the one followed).
class Collector : public SessionSink {
 public:
  explicit Collector(FollowedSession& out) : out_(out) {}
  void OnData(const Session& s, int direction, std::int64_t frame,
              std::span<const std::uint8_t> data) override {
    if (s.number != 1) return;
    FollowPiece p;
    p.direction = direction;
    p.frame = frame - 1;
    p.count = static_cast<std::int64_t>(data.size());
    p.data.assign(data.begin(), data.end());
    out_.bytes[static_cast<std::size_t>(direction)] += p.count;
    out_.pieces.push_back(std::move(p));
  }
  void OnGap(const Session& s, int direction, std::int64_t frames) override {
    if (s.number != 1) return;
    FollowPiece p;
    p.kind = FollowPiece::kGap;
    p.direction = direction;
    p.count = frames;
    out_.pieces.push_back(std::move(p));
  }

 private:
  FollowedSession& out_;
};

bool Shows(FollowDirections which, int direction) {
  return which == FollowDirections::kBoth ||
         (which == FollowDirections::kFromInitiator) == (direction == 0);
}

void AppendData(std::string& out, std::span<const std::uint8_t> data, bool& after_cr) {
  for (const std::uint8_t b : data) {
    if (b == '\n' && after_cr) {  // the LF of a CR LF
      after_cr = false;
      continue;
    }
    after_cr = b == '\r';
    if (b == '\r' || b == '\n') {
      out.push_back('\n');
    } else if (b == '\t' || (b >= 0x20 && b < 0x7F)) {
      out.push_back(static_cast<char>(b));
    } else if (b >= 0x80) {
      const char c = static_cast<char>(b);
      AppendCp1252AsUtf8(out, std::string_view(&c, 1));
    } else {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      out.append("<0x").push_back(kDigits[b >> 4]);
      out.push_back(kDigits[b & 0x0F]);
      out.push_back('>');
    }
  }
}

}  // namespace

std::string TimelineLabel(const Ax25Details& d) {
  if (d.problem != Ax25Problem::kNone) return "?";
  std::string label = d.kind == Ax25Kind::kI ? std::string("I") : std::string(d.name);
  if (label.empty()) label = "U code=" + std::to_string(d.type_code);
  if (d.ns) label += " ns=" + std::to_string(*d.ns);
  if (d.nr) label += " nr=" + std::to_string(*d.nr);
  if (d.poll_final) {
    const bool poll = d.kind == Ax25Kind::kI || d.role == Ax25Role::kCommand;
    label += d.role == Ax25Role::kUnknown && d.kind != Ax25Kind::kI ? " P/F" : poll ? " P" : " F";
  }
  return label;
}

bool FollowSession(const IndexSnapshot& snapshot, const SessionTable& table, std::int64_t number,
                   FollowedSession& out, const std::atomic<bool>* cancel,
                   const std::function<void(std::int64_t, std::int64_t)>& progress) {
  out = FollowedSession();
  if (number < 1 || number > table.SessionCount()) return false;
  out.session = table.SessionAt(number);
  const LinkKey key = out.session.key;
  Collector collector(out);
  LinkTracker tracker(&collector);
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  StoredFrame frame;
  const std::int64_t first = out.session.first_frame - 1;
  const std::int64_t end = std::min(out.session.last_frame, snapshot.FrameCount());
  for (std::int64_t i = first; i < end; ++i) {
    if ((i - first) % kStep == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
      if (progress) progress(i - first, end - first);
    }
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp() || !reader.Read(i, frame)) continue;
    const std::optional<LinkOf> of = LinkOfFrame(frame.Kiss());
    if (!of || !(of->key == key)) continue;
    const std::optional<std::int64_t> millis = times.Millis(r.StampNumber());
    const LinkFacts f = tracker.Next(frame.Kiss(), i + 1, millis);
    if (f.session != 1) continue;
    const Ax25Details d = DescribeAx25(frame.Kiss(), f.modulo);
    TimelineFrame t;
    t.frame = i;
    t.direction = f.direction;
    t.label = TimelineLabel(d);
    if (f.repeated_copy) t.label += " (copy)";
    t.millis = millis;
    t.retransmission = f.retransmission;
    t.not_heard = f.not_heard;
    out.timeline.push_back(std::move(t));
    if (f.retransmission) {
      FollowPiece p;
      p.kind = FollowPiece::kRetransmission;
      p.direction = f.direction;
      p.frame = i;
      p.count = static_cast<std::int64_t>(d.info.size());
      out.pieces.push_back(std::move(p));
    }
  }
  tracker.Finish();
  return true;
}

std::vector<TranscriptPiece> FollowTranscript(const FollowedSession& followed,
                                              FollowDirections which) {
  std::vector<TranscriptPiece> pieces;
  std::array<bool, 2> after_cr{};
  bool line_start = true;
  for (const FollowPiece& p : followed.pieces) {
    if (!Shows(which, p.direction)) continue;
    if (p.kind == FollowPiece::kData) {
      if (pieces.empty() || pieces.back().mark || pieces.back().direction != p.direction) {
        pieces.push_back({p.direction, false, {}});
      }
      bool& cr = after_cr[static_cast<std::size_t>(p.direction)];
      AppendData(pieces.back().text, p.data, cr);
      if (!pieces.back().text.empty()) line_start = pieces.back().text.back() == '\n';
      continue;
    }
    std::string text = line_start ? "[" : "\n[";
    if (p.kind == FollowPiece::kGap) {
      text += std::to_string(p.count) + (p.count == 1 ? " frame" : " frames") + " not heard]\n";
    } else {
      text += "frame " + std::to_string(p.frame + 1) + ": " + std::to_string(p.count) +
              (p.count == 1 ? " byte" : " bytes") + " sent again]\n";
    }
    pieces.push_back({p.direction, true, std::move(text)});
    line_start = true;
  }
  return pieces;
}

std::string TranscriptText(const std::vector<TranscriptPiece>& pieces) {
  std::string text;
  for (const TranscriptPiece& p : pieces) text += p.text;
  return text;
}

std::string FollowBytes(const FollowedSession& followed, FollowDirections which) {
  std::string bytes;
  for (const FollowPiece& p : followed.pieces) {
    if (p.kind == FollowPiece::kData && Shows(which, p.direction)) {
      bytes.append(p.data.begin(), p.data.end());
    }
  }
  return bytes;
}

bool SaveFollowed(const std::string& path, std::string_view bytes, const std::string& capture_path,
                  std::string* error) {
  try {
    if (!capture_path.empty() && SameFile(path, CapturePath(capture_path))) {
      throw CommandError("Cannot write \"" + path + "\": it is the capture.");
    }
    OutputFile file(path);
    file.Write(bytes);
    file.Commit();
    return true;
  } catch (const CommandError& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
}

}  // namespace packscope
