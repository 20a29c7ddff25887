#include "framelist/frame_passes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>

#include "aprs/aprs_frame.h"
#include "filter/frame_facts.h"
#include "framelist/merged_capture.h"

namespace packscope {
namespace {

// Blocks read by a pass through the capture in order, and by one that picks frames here and
// there in order (the refinement of a sort).
constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::size_t kSparseReadAhead = 64u << 10;
constexpr std::int64_t kStep = 1 << 14;  // frames between looks at the cancel flag

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

bool HexDigit(char c, int& value) {
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  } else {
    return false;
  }
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HoldsText(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return false;
  const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                              [](char x, char y) { return Lower(x) == y; });
  return it != text.end();
}

}  // namespace

PassEnd ListFrames(const IndexSnapshot& snapshot, std::int64_t from, std::int64_t to,
                   const Filter* filter, std::vector<std::int64_t>& rows, std::int64_t* unheld,
                   const std::atomic<bool>* cancel, const PassProgress& progress,
                   const DefinitionFrames& definitions, const SessionTable* sessions,
                   const MergedCapture* merged) {
  const std::int64_t total = to - from;
  if (filter == nullptr) {  // the index alone tells
    // Counted first: the rows take their size once, not twice that while they grow.
    std::size_t count = 0;
    for (std::int64_t i = from; i < to; ++i) count += snapshot.Frame(i).Timestamp() ? 0 : 1;
    rows.reserve(rows.size() + count);
    for (std::int64_t i = from; i < to; ++i) {
      if ((i - from) % (kStep * 16) == 0 && Cancelled(cancel)) return PassEnd::kCancelled;
      if (!snapshot.Frame(i).Timestamp()) rows.push_back(i);
    }
    return PassEnd::kDone;
  }
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  StoredFrame frame;
  FrameFacts facts;
  // APRS fields read the frames as a decoder following the capture from its start does: with
  // the telemetry definitions sent before each frame.
  FrameAprs aprs;
  const bool reads_aprs = (filter->Needs() & kNeedAprs) != 0;
  if (reads_aprs) facts.aprs_reading = &aprs;
  // The link facts, when a test reads the session or the frame's AX.25 header.
  LinkFacts link;
  std::vector<Reception> heard;
  FrameReceivers receivers;
  if (merged != nullptr) receivers.names = merged->Names();
  const bool reads_link = sessions != nullptr &&
                          (filter->Needs() & (kNeedLink | kNeedAx25 | kNeedFindings | kNeedAprs));
  if (reads_link) facts.link = &link;
  if (reads_aprs && from > 0 && definitions) {
    Ax25Details d;
    for (const std::int64_t k : *definitions) {
      if (k >= from) break;
      if (!reader.Read(k, frame) || !IsDataFrame(frame.Kiss())) continue;
      DescribeAx25(frame.Kiss(), d);
      aprs.NextFrame();
      if (d.problem == Ax25Problem::kNone) aprs.Read(d);
    }
  }
  for (std::int64_t i = from; i < to; ++i) {
    if ((i - from) % kStep == 0) {
      if (Cancelled(cancel)) return PassEnd::kCancelled;
      if (progress) progress(i - from, total);
    }
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp()) continue;
    if (!reader.Read(i, frame)) {
      if (unheld != nullptr) ++*unheld;
      continue;
    }
    aprs.NextFrame();
    facts.Begin(frame.Kiss(), i + 1, r.Offset(), times.Millis(r.StampNumber()), frame.info);
    if (reads_link) link = sessions->FactsOf(i, frame.Kiss());
    if (merged != nullptr) {
      merged->HeardOf(i, heard);
      receivers.heard = heard;
      facts.receivers = heard.empty() ? nullptr : &receivers;
    }
    if (filter->Matches(facts)) rows.push_back(i);
    if (reads_aprs && !aprs.ReadThisFrame() && IsDataFrame(facts.kiss_frame)) {
      DescribeFrame(facts, kNeedAx25);
      if (facts.ax25 && IsAprsFrame(facts.details) && AprsDecoder::MayDefine(facts.details.info)) {
        aprs.Read(facts.details);
      }
    }
  }
  return PassEnd::kDone;
}

std::optional<FindQuery> ParseFindQuery(std::string_view text, bool hex, std::string* error) {
  const auto fail = [error](const char* why) -> std::optional<FindQuery> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  FindQuery q;
  q.bytes = hex;
  if (!hex) {
    if (text.empty()) return fail("Nothing to find: type a text.");
    for (char c : text) q.needle.push_back(Lower(c));
    return q;
  }
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == ',') continue;
    int value = 0;
    if (!HexDigit(c, value)) return fail("Hex bytes are two hex digits each (\"C0 00 82\").");
    if (high < 0) {
      high = value;
    } else {
      q.needle.push_back(static_cast<char>(high << 4 | value));
      high = -1;
    }
  }
  if (high >= 0) return fail("Hex bytes are two hex digits each: one digit is left over.");
  if (q.needle.empty()) return fail("Nothing to find: type hex bytes (\"C0 00 82\").");
  return q;
}

std::int64_t FindRow(const IndexSnapshot& snapshot, const RowSources& sources,
                     const std::vector<std::int64_t>& rows,
                     const std::vector<std::int64_t>& capture_order, std::int64_t from,
                     bool backwards, const FindQuery& query, const std::atomic<bool>* cancel,
                     const PassProgress& progress) {
  const auto n = static_cast<std::int64_t>(rows.size());
  if (n == 0) return -1;
  const bool in_order = rows == capture_order;
  FrameFormatter formatter(snapshot, sources, in_order ? kReadAhead : kSparseReadAhead);
  FrameReader reader(snapshot, in_order ? kReadAhead : 0);
  reader.SetBackwards(backwards);
  StoredFrame frame;
  FrameRow row;
  const int columns = kFrameColumnCount + formatter.ExtraCount();
  const ColumnMask kSearched = ColumnBit(FrameColumn::kTime) | ColumnBit(FrameColumn::kSource) |
                               ColumnBit(FrameColumn::kDestination) |
                               ColumnBit(FrameColumn::kPath) | ColumnBit(FrameColumn::kType) |
                               ColumnBit(FrameColumn::kInfo) |
                               (kExtraColumnBits & (ColumnBit(columns) - 1));
  if (from < 0 || from >= n) from = backwards ? 0 : n - 1;
  for (std::int64_t step = 1; step <= n; ++step) {
    if (step % kStep == 0) {
      if (Cancelled(cancel)) return -1;
      if (progress) progress(step, n);
    }
    const std::int64_t at = ((from + (backwards ? -step : step)) % n + n) % n;
    const std::int64_t f = rows[static_cast<std::size_t>(at)];
    if (query.bytes) {
      if (!reader.Read(f, frame)) continue;
      const auto it = std::search(
          frame.frame.begin(), frame.frame.end(), query.needle.begin(), query.needle.end(),
          [](std::uint8_t x, char y) { return x == static_cast<std::uint8_t>(y); });
      if (it != frame.frame.end()) return at;
      continue;
    }
    formatter.Format(f, -1, row, kSearched);
    for (int c = 0; c < columns; ++c) {
      if ((kSearched & ColumnBit(c)) != 0 && HoldsText(CellText(row, c), query.needle)) return at;
    }
  }
  return -1;
}

std::int64_t FrameAtOffset(const IndexSnapshot& snapshot, std::int64_t offset) {
  std::int64_t low = 0;
  std::int64_t high = snapshot.FrameCount();  // the first frame that begins after offset
  while (low < high) {
    const std::int64_t mid = low + (high - low) / 2;
    if (snapshot.Frame(mid).Offset() <= offset) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low - 1;
}

std::int64_t RowOfFrame(const std::vector<std::int64_t>& rows,
                        const std::vector<std::int64_t>& capture_order, bool in_capture_order,
                        std::int64_t frame) {
  if (capture_order.empty()) return -1;
  auto it = std::lower_bound(capture_order.begin(), capture_order.end(), frame);
  if (it == capture_order.end()) --it;
  const auto place = static_cast<std::int64_t>(it - capture_order.begin());
  if (in_capture_order) return place;
  const auto found = std::find(rows.begin(), rows.end(), *it);
  return found == rows.end() ? -1 : static_cast<std::int64_t>(found - rows.begin());
}

std::int64_t PreviousListed(const std::vector<std::int64_t>& capture_order, std::int64_t frame) {
  const auto it = std::lower_bound(capture_order.begin(), capture_order.end(), frame);
  if (it == capture_order.begin() || it == capture_order.end() || *it != frame) return -1;
  return *(it - 1);
}

}  // namespace packscope
