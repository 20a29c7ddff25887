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

// One row's key at one level of a sort: 16 bytes of its text (or its number), whether its text
// goes on, and its place before the sort.
struct Keyed {
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  std::uint32_t pos = 0;
  bool more = false;
};

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

void NumberKey(Keyed& k, std::optional<std::int64_t> value) {
  k.a = value ? 1 : 0;
  k.b = value ? static_cast<std::uint64_t>(*value) ^ kSignBit : 0;
  k.more = false;
}

// Bytes from..from+16 of text, big-endian, so that the numbers compare as the bytes do; a text
// that ends earlier is padded with zeros (and the row's texts hold no NUL).
void TextKey(Keyed& k, std::string_view text, std::size_t from) {
  std::array<unsigned char, 16> bytes{};
  if (from < text.size()) {
    std::memcpy(bytes.data(), text.data() + from, std::min<std::size_t>(16, text.size() - from));
  }
  k.a = 0;
  k.b = 0;
  for (int i = 0; i < 8; ++i) {
    k.a = k.a << 8 | bytes[static_cast<std::size_t>(i)];
    k.b = k.b << 8 | bytes[static_cast<std::size_t>(i) + 8];
  }
  k.more = text.size() > from + 16;
}

bool SameKey(const Keyed& x, const Keyed& y) {
  return x.a == y.a && x.b == y.b && x.more == y.more;
}

// Key order (reversed when descending), then the place before the sort: a stable order.
struct KeyOrder {
  bool descending;
  bool operator()(const Keyed& x, const Keyed& y) const {
    if (x.a != y.a) return (x.a < y.a) != descending;
    if (x.b != y.b) return (x.b < y.b) != descending;
    if (x.more != y.more) return (x.more < y.more) != descending;
    return x.pos < y.pos;
  }
};

// The rows' places in the order of their frames, for reading them through the capture in order.
std::vector<std::uint32_t> InFrameOrder(const std::vector<std::int64_t>& rows) {
  std::vector<std::uint32_t> order(rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  if (!std::is_sorted(rows.begin(), rows.end())) {
    std::sort(order.begin(), order.end(),
              [&rows](std::uint32_t x, std::uint32_t y) { return rows[x] < rows[y]; });
  }
  return order;
}

class RowSorter {
 public:
  RowSorter(const IndexSnapshot& snapshot, const RowSources& sources,
            const std::vector<std::int64_t>& rows, const std::vector<std::int64_t>& capture_order,
            FrameColumn column, bool descending, const std::atomic<bool>* cancel,
            const PassProgress& progress, std::size_t text_budget)
      : snapshot_(snapshot),
        sources_(sources),
        rows_(rows),
        capture_order_(capture_order),
        column_(column),
        order_{descending},
        cancel_(cancel),
        progress_(progress),
        text_budget_(text_budget) {}

  // The rows' places in the sorted order, in keyed_ (pos); false when cancelled.
  bool Sort() {
    keyed_.resize(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) keyed_[i].pos = static_cast<std::uint32_t>(i);
    if (!FirstKeys()) return false;
    std::sort(keyed_.begin(), keyed_.end(), order_);
    // Runs of equal keys whose texts go on are settled further, all those of a level in one
    // pass through the capture.
    std::vector<Run> runs = TiedRuns(0, keyed_.size(), 1);
    while (!runs.empty()) {
      std::vector<Run> next;
      if (!Refine(runs, next)) return false;
      runs.swap(next);
    }
    return true;
  }

  const std::vector<Keyed>& Keys() const { return keyed_; }

 private:
  bool Step(std::size_t done) {
    if (done % kStep != 0) return true;
    if (Cancelled(cancel_)) return false;
    if (progress_) {
      progress_(static_cast<std::int64_t>(done), static_cast<std::int64_t>(rows_.size()));
    }
    return true;
  }

  std::string_view TextOf(FrameFormatter& formatter, std::int64_t frame) {
    formatter.Format(frame, -1, row_, ColumnBit(column_));
    return CellText(row_, static_cast<int>(column_));
  }

  bool FirstKeys() {
    const std::size_t n = rows_.size();
    if (column_ == FrameColumn::kNumber || column_ == FrameColumn::kPort ||
        column_ == FrameColumn::kLength || column_ == FrameColumn::kTime ||
        column_ == FrameColumn::kDelta) {
      StampTimes times(snapshot_);
      for (std::size_t i = 0; i < n; ++i) {
        if (!Step(i)) return false;
        const std::int64_t frame = rows_[i];
        const FrameRecord& r = snapshot_.Frame(frame);
        std::optional<std::int64_t> value;
        switch (column_) {
          case FrameColumn::kNumber:
            value = frame;
            break;
          case FrameColumn::kPort:
            if (r.Length() > 0) value = KissPort(r.type);
            break;
          case FrameColumn::kLength:
            value = std::max(r.Length() - 1, 0);
            break;
          case FrameColumn::kTime:
            value = times.Millis(r.StampNumber());
            break;
          default: {  // Delta
            const std::int64_t previous = PreviousListed(capture_order_, frame);
            const std::optional<std::int64_t> time = times.Millis(r.StampNumber());
            if (previous >= 0 && time) {
              if (const std::optional<std::int64_t> before = times.FrameMillis(previous)) {
                value = *time - *before;
              }
            }
          }
        }
        NumberKey(keyed_[i], value);
      }
      return true;
    }
    // The columns of the frame's bytes: one pass through the capture in order.
    const std::vector<std::uint32_t> order = InFrameOrder(rows_);
    FrameFormatter formatter(snapshot_, sources_, kReadAhead);
    const int extra = static_cast<int>(column_) - kFrameColumnCount;
    const bool extra_numeric = extra >= 0 && sources_.columns &&
                               static_cast<std::size_t>(extra) < sources_.columns->size() &&
                               (*sources_.columns)[static_cast<std::size_t>(extra)].numeric;
    for (std::size_t i = 0; i < n; ++i) {
      if (!Step(i)) return false;
      const std::uint32_t place = order[i];
      const std::string_view text = TextOf(formatter, rows_[place]);
      if (column_ == FrameColumn::kPid) {
        std::optional<std::int64_t> pid;
        if (text.size() == 2) pid = std::stoi(std::string(text), nullptr, 16);
        NumberKey(keyed_[place], pid);
      } else if (extra_numeric) {
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        NumberKey(keyed_[place], ec == std::errc() && end == text.data() + text.size()
                                     ? std::optional<std::int64_t>(value)
                                     : std::nullopt);
      } else {
        TextKey(keyed_[place], text, 0);
        text_bytes_ += text.size();
      }
    }
    return true;
  }

  struct Run {
    std::size_t begin;
    std::size_t end;
    std::size_t level;  // the texts tie in their first 16 * level bytes
  };

  // The runs of keyed_[begin..end) whose keys tie and whose texts go on.
  std::vector<Run> TiedRuns(std::size_t begin, std::size_t end, std::size_t level) const {
    std::vector<Run> runs;
    for (std::size_t i = begin; i < end;) {
      std::size_t j = i + 1;
      while (j < end && SameKey(keyed_[i], keyed_[j])) ++j;
      if (j - i > 1 && keyed_[i].more) runs.push_back({i, j, level});
      i = j;
    }
    return runs;
  }

  // One pass through the capture for some of the runs: as many as their texts (estimated from
  // the texts' mean length) fit the budget are settled by their whole texts; a run too large
  // for the budget alone is settled by the next 16 bytes of its texts, and its ties go into
  // next; the runs left for later go into next as they are. Each tied row is read about once.
  bool Refine(const std::vector<Run>& runs, std::vector<Run>& next) {
    const std::size_t mean = rows_.empty() ? 16 : text_bytes_ / rows_.size() + 1;
    std::vector<Run> now;
    std::vector<char> whole;
    std::size_t planned = 0;
    for (const Run& run : runs) {
      const std::size_t rest =
          std::max<std::size_t>(16, mean > 16 * run.level ? mean - 16 * run.level : 0);
      const std::size_t estimate = (run.end - run.begin) * rest;
      if (estimate > text_budget_) {
        now.push_back(run);
        whole.push_back(0);
      } else if (planned + estimate <= text_budget_) {
        now.push_back(run);
        whole.push_back(1);
        planned += estimate;
      } else {
        next.push_back(run);
      }
    }
    // The rows of the pass in the order of their frames: place in keyed_, run in now.
    struct Entry {
      std::uint32_t place;
      std::uint32_t run;
    };
    std::vector<std::size_t> first_of(now.size() + 1, 0);
    for (std::size_t r = 0; r < now.size(); ++r) {
      first_of[r + 1] = first_of[r] + (now[r].end - now[r].begin);
    }
    std::vector<Entry> entries;
    entries.reserve(first_of.back());
    for (std::size_t r = 0; r < now.size(); ++r) {
      for (std::size_t i = now[r].begin; i < now[r].end; ++i) {
        entries.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(r)});
      }
    }
    std::sort(entries.begin(), entries.end(), [this](const Entry& x, const Entry& y) {
      return rows_[keyed_[x.place].pos] < rows_[keyed_[y.place].pos];
    });
    // The texts of a run in one string; each row's piece of it (offset, size) by its place.
    std::vector<std::string> texts(now.size());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pieces(first_of.back());
    std::size_t used = 0;
    // Densely tied rows are read in large blocks, a few here and there in small ones.
    const bool dense = entries.size() * 64 > rows_.size();
    FrameFormatter formatter(snapshot_, sources_, dense ? kReadAhead : kSparseReadAhead);
    for (std::size_t e = 0; e < entries.size(); ++e) {
      if (!Step(e)) return false;
      const Entry& entry = entries[e];
      Keyed& k = keyed_[entry.place];
      const std::size_t from = 16 * now[entry.run].level;
      const std::string_view text = TextOf(formatter, rows_[k.pos]);
      TextKey(k, text, from);
      if (whole[entry.run] == 0) continue;
      const std::string_view rest = text.substr(std::min(from, text.size()));
      std::string& run_texts = texts[entry.run];
      if (used + rest.size() > text_budget_ || run_texts.size() + rest.size() > UINT32_MAX) {
        whole[entry.run] = 0;  // longer than estimated: settled 16 bytes at a time instead
        used -= run_texts.size();
        std::string().swap(run_texts);
        continue;
      }
      used += rest.size();
      pieces[first_of[entry.run] + (entry.place - now[entry.run].begin)] = {
          static_cast<std::uint32_t>(run_texts.size()), static_cast<std::uint32_t>(rest.size())};
      run_texts.append(rest);
    }
    entries = {};
    for (std::size_t r = 0; r < now.size(); ++r) {
      const Run& run = now[r];
      const auto begin = keyed_.begin() + static_cast<std::ptrdiff_t>(run.begin);
      const auto end = keyed_.begin() + static_cast<std::ptrdiff_t>(run.end);
      if (whole[r] == 0) {
        std::sort(begin, end, order_);
        const std::vector<Run> ties = TiedRuns(run.begin, run.end, run.level + 1);
        next.insert(next.end(), ties.begin(), ties.end());
        continue;
      }
      const auto piece = [&](std::uint32_t i) {
        const auto& [offset, size] = pieces[first_of[r] + i];
        return std::string_view(texts[r]).substr(offset, size);
      };
      std::vector<std::uint32_t> order(run.end - run.begin);
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
      const bool descending = order_.descending;
      std::sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
        const int c = piece(x).compare(piece(y));
        if (c != 0) return (c < 0) != descending;
        return keyed_[run.begin + x].pos < keyed_[run.begin + y].pos;
      });
      std::vector<Keyed> sorted(order.size());
      for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = keyed_[run.begin + order[i]];
      std::copy(sorted.begin(), sorted.end(), begin);
    }
    return true;
  }

  const IndexSnapshot& snapshot_;
  const RowSources& sources_;
  const std::vector<std::int64_t>& rows_;
  const std::vector<std::int64_t>& capture_order_;
  FrameColumn column_;
  KeyOrder order_;
  const std::atomic<bool>* cancel_;
  const PassProgress& progress_;
  std::size_t text_budget_;
  std::vector<Keyed> keyed_;
  FrameRow row_;
  std::size_t text_bytes_ = 0;  // of the first keys' texts, for their mean length
};

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

PassEnd SortRows(const IndexSnapshot& snapshot, const RowSources& sources,
                 const std::vector<std::int64_t>& rows,
                 const std::vector<std::int64_t>& capture_order, FrameColumn column,
                 bool descending, std::vector<std::int64_t>& sorted,
                 const std::atomic<bool>* cancel, const PassProgress& progress,
                 std::size_t text_budget) {
  if (rows.size() >= std::numeric_limits<std::uint32_t>::max()) return PassEnd::kCancelled;
  RowSorter sorter(snapshot, sources, rows, capture_order, column, descending, cancel, progress,
                   text_budget);
  if (!sorter.Sort()) return PassEnd::kCancelled;
  sorted.resize(rows.size());
  for (std::size_t i = 0; i < sorted.size(); ++i) sorted[i] = rows[sorter.Keys()[i].pos];
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
