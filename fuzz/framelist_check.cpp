#include "fuzz/framelist_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "commands/commands.h"
#include "filter/filter.h"
#include "framelist/capture_survey.h"
#include "framelist/connections.h"
#include "framelist/follow_connection.h"
#include "framelist/frame_details.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_reader.h"
#include "framelist/frame_row.h"
#include "fuzz/memory_capture.h"
#include "render/hex.h"

namespace packscope::fuzz {
namespace {

// The frames a pass reads: their un-escaped bytes and what the reader saw.
class Frames : public CaptureObserver {
 public:
  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    const std::span<const std::uint8_t> frame = KissFrame(state);
    frames.emplace_back(frame.begin(), frame.end());
    infos.push_back(info);
  }
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<FrameInfo> infos;
};

std::string Where(std::int64_t frame) { return "frame " + std::to_string(frame + 1) + ": "; }

std::string CheckDetails(const std::vector<DetailNode>& nodes, std::int32_t length) {
  for (const DetailNode& n : nodes) {
    if (n.begin >= 0 && (n.begin > n.end || n.end > length)) {
      return "detail \"" + n.text + "\" names bytes " + std::to_string(n.begin) + ".." +
             std::to_string(n.end) + " of " + std::to_string(length);
    }
    const std::string inner = CheckDetails(n.children, length);
    if (!inner.empty()) return inner;
  }
  return {};
}

}  // namespace

// The connections' tables, and each session followed on its own: its frames, bytes and
// retransmissions those of the table; a table's cells and order for every row.
std::string CheckConnections(const IndexSnapshot& snapshot) {
  CaptureConnections read;
  if (!ReadConnections(snapshot, read)) return "reading the connections failed";
  for (const auto& table : {read.conversations, read.nodes}) {
    for (int c = 0; c < static_cast<int>(table->Columns().size()); ++c) {
      std::vector<std::uint32_t> order = table->Order(c, c % 2 == 1);
      std::sort(order.begin(), order.end());
      for (std::uint32_t r = 0; r < order.size(); ++r) {
        if (order[r] != r) return table->Title() + ": an order that is no permutation";
        (void)table->Cell(r, c);
      }
    }
  }
  const SessionTable& sessions = *read.sessions;
  for (std::int64_t n = 1; n <= sessions.SessionCount(); ++n) {
    FollowedSession f;
    if (!FollowSession(snapshot, sessions, n, f)) return "session " + std::to_string(n) + " lost";
    const std::string where = "session " + std::to_string(n) + " followed: ";
    if (static_cast<std::int64_t>(f.timeline.size()) != f.session.frames) {
      return where + std::to_string(f.timeline.size()) + " frames of " +
             std::to_string(f.session.frames);
    }
    for (std::size_t d = 0; d < 2; ++d) {
      std::int64_t again = 0;
      for (const FollowPiece& p : f.pieces) {
        again += p.kind == FollowPiece::kRetransmission && p.direction == static_cast<int>(d);
      }
      if (f.bytes[d] != f.session.from[d].bytes || again != f.session.from[d].retransmitted) {
        return where + "direction " + std::to_string(d) + " differs from the table's";
      }
    }
    (void)TranscriptText(FollowTranscript(f, FollowDirections::kBoth));
  }
  return {};
}

std::string CheckFrameList(const std::uint8_t* data, std::size_t size) {
  if (!ReadAsKiss(data, size)) return {};
  MemoryCapture file;
  if (!file.Ok()) return std::string("memfd_create: ") + std::strerror(errno);
  if (!file.Write(data, 0, size)) return "cannot write the memory file";
  const std::string path = file.Path();

  FrameIndex index(path);
  const IndexResult result = index.Extend();
  const IndexSnapshot snapshot = index.Snapshot();
  DecoderState state;
  state.CaptureFileName = path;
  HeadlessWindow window;
  Frames pass;
  if (!RunObservedPass(state, window, pass) && result.status == IndexStatus::kAtEnd) {
    return "the pass failed where the index did not";
  }
  if (static_cast<std::size_t>(snapshot.FrameCount()) != pass.frames.size()) {
    return "the index holds " + std::to_string(snapshot.FrameCount()) + " frames, the pass " +
           std::to_string(pass.frames.size());
  }

  std::vector<std::int64_t> rows;
  ListFrames(snapshot, 0, snapshot.FrameCount(), nullptr, rows);
  CaptureSurvey survey;
  SurveyCapture(snapshot, survey);
  if (survey.frames != static_cast<std::int64_t>(rows.size())) return "the survey counts otherwise";
  const DefinitionFrames definitions =
      std::make_shared<const std::vector<std::int64_t>>(survey.definitions);

  // A filter over slices lists what one pass lists, telemetry scaled by earlier slices'
  // definitions.
  for (const char* expression : {"aprs.values.1 >= 0 or problem", "len > 20 and not problem"}) {
    const std::optional<Filter> filter = Filter::Parse(expression);
    if (!filter) return std::string("the check's filter does not parse: ") + expression;
    std::vector<std::int64_t> one;
    std::int64_t one_unheld = 0;
    ListFrames(snapshot, 0, snapshot.FrameCount(), &*filter, one, &one_unheld, nullptr, {},
               definitions);
    for (int slices = 2; slices <= 4; slices += 2) {
      std::vector<std::int64_t> sliced;
      std::int64_t sliced_unheld = 0;
      ListFramesInSlices(slices, snapshot, 0, snapshot.FrameCount(), &*filter, sliced,
                         &sliced_unheld, nullptr, {}, definitions);
      if (sliced != one || sliced_unheld != one_unheld) {
        return std::string("a filter over slices lists otherwise: ") + expression;
      }
    }
  }

  FrameReader reader(snapshot);
  AprsTimeline aprs(snapshot, definitions);
  StoredFrame f;
  for (std::int64_t i = 0; i < snapshot.FrameCount(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (!reader.Read(i, f)) return Where(i) + "cannot be read again";
    if (f.frame != pass.frames[k]) return Where(i) + "reads back as other bytes";
    if (f.info.bad_escapes != pass.infos[k].bad_escapes) return Where(i) + "other bad escapes";
    const std::vector<std::int32_t> places = StoredPlaces(f);
    if (places.size() != f.frame.size() + 1 || !std::is_sorted(places.begin(), places.end()) ||
        places.back() > static_cast<std::int32_t>(f.stored.size())) {
      return Where(i) + "the stored places do not fit";
    }
    if (f.info.timestamp) continue;
    const auto length = static_cast<std::int32_t>(f.frame.size());
    const std::vector<DetailNode> tree = FrameDetails(f, snapshot.Frame(i), "", aprs);
    const std::string bad = CheckDetails(tree, length);
    if (!bad.empty()) return Where(i) + bad;
    for (std::int32_t b = 0; b < length; ++b) {
      const DetailNode* node = nullptr;
      const std::vector<DetailNode>* level = &tree;
      for (int c : DetailPathOfByte(tree, b)) {
        node = &(*level)[static_cast<std::size_t>(c)];
        level = &node->children;
      }
      if (node == nullptr || !node->Holds(b))
        return Where(i) + "byte " + std::to_string(b) + " has no detail";
    }
  }

  for (FrameColumn column : {FrameColumn::kInfo, FrameColumn::kPath, FrameColumn::kTime}) {
    for (std::size_t budget : {kSortTextBudget, std::size_t{300}, std::size_t{0}}) {
      std::vector<std::int64_t> sorted;
      SortRows(snapshot, definitions, rows, rows, column, false, sorted, nullptr, {}, budget);
      std::vector<std::int64_t> same = sorted;
      std::sort(same.begin(), same.end());
      if (same != rows) return "a sort lost or doubled rows";
      if (column == FrameColumn::kTime) continue;
      FrameFormatter formatter(snapshot, definitions);
      FrameRow row;
      std::string previous;
      for (std::size_t r = 0; r < sorted.size(); ++r) {
        formatter.Format(sorted[r], -1, row, ColumnBit(column));
        const std::string& text = row.text[static_cast<std::size_t>(column)];
        if (r > 0 && text < previous)
          return "a sort by text is out of order at row " + std::to_string(r);
        previous = text;
      }
    }
  }
  // Find a frame's own first bytes: some row holds them.
  if (!rows.empty() && reader.Read(rows.back(), f) && !f.frame.empty()) {
    FindQuery query;
    query.bytes = true;
    query.needle.assign(
        f.frame.begin(),
        f.frame.begin() + std::min<std::ptrdiff_t>(4, static_cast<std::ptrdiff_t>(f.frame.size())));
    if (FindRow(snapshot, definitions, rows, rows, 0, false, query) < 0) return "find missed bytes";
  }
  return CheckConnections(snapshot);
}

}  // namespace packscope::fuzz
