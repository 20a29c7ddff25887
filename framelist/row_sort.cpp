// The frame list's sort (SortRows, framelist/frame_passes.h).
//
// Every row gets one 64-bit word: its sort key in the high bits, its place in the rows before the
// sort in the low ones. Sorting the words sorts the rows, stably (the places break ties), and
// the sorted words become the sorted rows in place: the keys take no memory beyond the result.
//
//   numbers  the value less the column's smallest, shifted right where the range is wider than
//            the key's bits
//   texts    the bucket among splitters, texts sampled from the rows and sorted (a text equal
//            to a splitter has a bucket of its own), then the bytes behind the prefix the
//            bucket's two splitters share, and whether the text goes on
//
// Rows whose keys tie where the key does not tell all (a text that goes on, a number shifted)
// are settled in groups, by passes through the capture over as many of their rows as the budget
// holds: the next 8 bytes of each row's text behind those its group shares (and whether the
// group's texts are all alike), until a group's texts are known to fit the budget, then its
// texts whole. A group too large for a pass is keyed again behind the bytes its rows share, with
// splitters of its own. Every pass reads the rows in the order of their frames, in as many
// slices as the machine has cores.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framelist/frame_passes.h"
#include "framelist/slices.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::size_t kSparseReadAhead = 64u << 10;
constexpr std::size_t kStep = 1 << 14;  // rows between looks at the cancel flag
constexpr std::size_t kMostSplitters = 1 << 15;
constexpr std::int64_t kLeastSliceRows = 1 << 15;  // rows a thread keys and sorts at least

using Word = std::uint64_t;

std::uint32_t Narrow(std::size_t n) {
  return static_cast<std::uint32_t>(std::min<std::size_t>(n, UINT32_MAX));
}

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

std::size_t Threads(std::size_t rows) {
  return static_cast<std::size_t>(SliceCount(static_cast<std::int64_t>(rows), kLeastSliceRows,
                                             std::thread::hardware_concurrency()));
}

// Runs body(slice, from, to) over count items in slices at once (RunInSlices).
template <typename Body>
void InSlices(std::size_t count, std::size_t slices, const Body& body) {
  RunInSlices(static_cast<int>(slices), [&](int slice) {
    const auto s = static_cast<std::size_t>(slice);
    body(s, count * s / slices, count * (s + 1) / slices);
  });
}

// Sorts words ascending; where the machine has cores, split at sampled pivots (the words are
// distinct: their low bits are places) and the parts sorted side by side.
void SortWords(Word* begin, Word* end) {
  const auto n = static_cast<std::size_t>(end - begin);
  const std::size_t parts = Threads(n);
  if (parts == 1) {
    std::sort(begin, end);
    return;
  }
  std::vector<Word> sample;
  for (std::size_t i = 0; i < 1024; ++i) sample.push_back(begin[i * (n - 1) / 1023]);
  std::sort(sample.begin(), sample.end());
  std::vector<Word*> cuts = {begin};
  for (std::size_t p = 1; p < parts; ++p) {
    const Word pivot = sample[p * sample.size() / parts];
    cuts.push_back(std::partition(cuts.back(), end, [pivot](Word w) { return w < pivot; }));
  }
  cuts.push_back(end);
  InSlices(parts, parts, [&cuts](std::size_t, std::size_t from, std::size_t to) {
    for (std::size_t p = from; p < to; ++p) std::sort(cuts[p], cuts[p + 1]);
  });
}

// A number as bytes that compare as it does: 0 for none; else 1 and the number, sign bit
// flipped, big-endian.
std::string NumberBytes(std::optional<std::int64_t> value) {
  std::string out(value ? 9 : 1, '\0');
  if (!value) return out;
  out[0] = 1;
  const Word v = static_cast<Word>(*value) ^ (Word{1} << 63);
  for (int i = 0; i < 8; ++i)
    out[static_cast<std::size_t>(8 - i)] = static_cast<char>(v >> (8 * i));
  return out;
}

// The bytes a and b share from from on (from at most the shorter's size), eight at a time.
std::size_t CommonPrefix(std::string_view a, std::string_view b, std::size_t from = 0) {
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = from;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) return i + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Sorted distinct texts, and the keys of texts among them.
class Splitters {
 public:
  // The most splitters a key of key_bits has room for (with 8 bits of bytes and one more).
  static std::size_t Most(int key_bits) {
    return std::min(kMostSplitters, std::size_t{1} << std::clamp(key_bits - 11, 0, 20));
  }

  // texts: sorted and distinct, at most Most(key_bits).
  Splitters(std::vector<std::string> texts, int key_bits) : texts_(std::move(texts)) {
    shared_.resize(texts_.size() + 1, 0);
    for (std::size_t j = 1; j < texts_.size(); ++j) {
      shared_[j] = CommonPrefix(texts_[j - 1], texts_[j]);
    }
    prefixes_.reserve(texts_.size());
    for (const std::string& t : texts_) prefixes_.push_back(Prefix(t));
    rest_bits_ = key_bits - static_cast<int>(std::bit_width(2 * texts_.size()));
    window_ = static_cast<std::size_t>(std::min(8, (rest_bits_ - 1) / 8));
  }

  // The key of text: its bucket (between two splitters, or equal to one), then for a bucket
  // between two the bytes behind the prefix they share, then whether the key leaves the text
  // untold (it goes on, or holds a NUL the padding would hide).
  Word Key(std::string_view text) const {
    // The first splitter not below text: among those whose first 16 bytes are the text's (found
    // in a table that stays in the cache), the prefix text is known to share with both ends of
    // the range not compared again.
    const std::array<Word, 2> prefix = Prefix(text);
    std::size_t low = static_cast<std::size_t>(
        std::lower_bound(prefixes_.begin(), prefixes_.end(), prefix) - prefixes_.begin());
    std::size_t high = static_cast<std::size_t>(
        std::upper_bound(prefixes_.begin() + static_cast<std::ptrdiff_t>(low), prefixes_.end(),
                         prefix) -
        prefixes_.begin());
    std::size_t low_shared = 0;
    std::size_t high_shared = 0;
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      const std::string_view s = texts_[mid];
      const std::size_t n = std::min(s.size(), text.size());
      const std::size_t k = CommonPrefix(s, text, std::min(low_shared, high_shared));
      if (k == n && s.size() == text.size()) return (2 * static_cast<Word>(mid) + 1) << rest_bits_;
      const bool below =
          k < n ? static_cast<unsigned char>(s[k]) < static_cast<unsigned char>(text[k])
                : s.size() < text.size();
      if (below) {
        low = mid + 1;
        low_shared = k;
      } else {
        high = mid;
        high_shared = k;
      }
    }
    const std::size_t from = Shared(low);
    Word window = 0;
    bool nul = false;
    for (std::size_t i = from; i < from + window_; ++i) {
      const unsigned char byte = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
      nul = nul || (i < text.size() && byte == 0);
      window = window << 8 | byte;
    }
    const bool more = nul || text.size() > from + window_;
    return (2 * static_cast<Word>(low)) << rest_bits_ |
           window << (rest_bits_ - 8 * static_cast<int>(window_)) | (more ? 1 : 0);
  }

  // Whether the texts of key are not all alike, and the bytes they share.
  bool Untold(Word key) const { return (key & 1) != 0; }
  std::size_t Known(Word key) const {
    return Shared(static_cast<std::size_t>(key >> rest_bits_) / 2) + window_;
  }

 private:
  // The prefix the texts between splitters j - 1 and j share.
  std::size_t Shared(std::size_t j) const { return j > 0 && j < texts_.size() ? shared_[j] : 0; }

  // The first 16 bytes of a text, zero-padded, as numbers that compare as the bytes do.
  static std::array<Word, 2> Prefix(std::string_view text) {
    std::array<unsigned char, 16> bytes{};
    std::memcpy(bytes.data(), text.data(), std::min<std::size_t>(16, text.size()));
    std::array<Word, 2> out{};
    for (std::size_t i = 0; i < 16; ++i) out[i / 8] = out[i / 8] << 8 | bytes[i];
    return out;
  }

  std::vector<std::string> texts_;
  std::vector<std::array<Word, 2>> prefixes_;
  std::vector<std::size_t> shared_;
  int rest_bits_ = 0;
  std::size_t window_ = 0;
};

class Sorter {
 public:
  Sorter(const IndexSnapshot& snapshot, const RowSources& sources,
         const std::vector<std::int64_t>& rows, const std::vector<std::int64_t>& capture_order,
         FrameColumn column, bool descending, const std::atomic<bool>* cancel,
         const PassProgress& progress, std::size_t budget)
      : snapshot_(snapshot),
        sources_(sources),
        rows_(rows),
        capture_order_(capture_order),
        column_(column),
        descending_(descending),
        cancel_(cancel),
        progress_(progress),
        budget_(std::min<std::size_t>(budget, std::size_t{1} << 30)),
        place_bits_(std::max(1, static_cast<int>(std::bit_width(rows.size() - 1)))),
        key_bits_(64 - place_bits_),
        place_mask_((Word{1} << place_bits_) - 1) {
    const int c = static_cast<int>(column);
    const auto extra = static_cast<std::size_t>(c - kFrameColumnCount);
    numeric_ = c < kFrameColumnCount ? ColumnInfo(column).numeric
                                     : sources.columns && extra < sources.columns->size() &&
                                           (*sources.columns)[extra].numeric;
  }

  // The rows in sorted order into out; false when cancelled (out untouched).
  bool Sort(std::vector<std::int64_t>& out) {
    // The words are kept where the sorted rows will be (an unsigned view of the same bytes).
    storage_.resize(rows_.size());
    words_ = reinterpret_cast<Word*>(storage_.data());
    count_ = storage_.size();
    InFrameOrder();
    std::vector<Group> groups;
    if (numeric_) {
      if (!KeyNumbers()) return false;
      SortWords(words_, words_ + count_);
      if (shift_ > 0) TiedGroups(0, count_, nullptr, 0, groups);
    } else {
      std::optional<Splitters> splitters = KeyTexts(0, count_, 0, true);
      if (!splitters) return false;
      SortWords(words_, words_ + count_);
      TiedGroups(0, count_, &*splitters, 0, groups);
      splitters.reset();
    }
    if (!Settle(std::move(groups))) return false;
    // The words become the rows they name, in place.
    for (std::size_t i = 0; i < count_; ++i) storage_[i] = FrameOf(words_[i]);
    out.swap(storage_);
    return true;
  }

 private:
  // Rows whose keys tie, words_[begin..end); their texts (numbers: NumberBytes) share the
  // first known bytes.
  struct Group {
    std::uint32_t begin;
    std::uint32_t end;
    std::uint32_t known;
    std::uint32_t bytes = kUnknown;  // of the rows' texts behind known (at most)
  };
  static constexpr std::uint32_t kUnknown = UINT32_MAX;

  std::int64_t FrameOf(Word w) const { return rows_[static_cast<std::size_t>(w & place_mask_)]; }
  bool ByFrame(Word x, Word y) const { return FrameOf(x) < FrameOf(y); }

  // words_: the rows' places, in the order of their frames.
  void InFrameOrder() {
    const std::size_t n = rows_.size();
    if (std::is_sorted(rows_.begin(), rows_.end())) {
      for (std::size_t i = 0; i < n; ++i) words_[i] = i;
      return;
    }
    // A list's rows in another order are its capture order's: each found there.
    if (capture_order_.size() == n) {
      std::fill(words_, words_ + n, ~Word{0});
      bool all = true;
      for (std::size_t p = 0; p < n && all; ++p) {
        const auto it = std::lower_bound(capture_order_.begin(), capture_order_.end(), rows_[p]);
        const auto c = static_cast<std::size_t>(it - capture_order_.begin());
        all = it != capture_order_.end() && *it == rows_[p] && words_[c] == ~Word{0};
        if (all) words_[c] = p;
      }
      if (all) return;
    }
    for (std::size_t i = 0; i < n; ++i) words_[i] = i;
    std::sort(words_, words_ + n, [this](Word x, Word y) { return ByFrame(x, y); });
  }

  bool Step(std::size_t done, std::size_t total, bool report) const {
    if (done % kStep != 0) return true;
    if (Cancelled(cancel_)) return false;
    if (report && progress_) {
      progress_(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
    }
    return true;
  }

  // What one thread reads rows with.
  struct Reading {
    Reading(const IndexSnapshot& snapshot, const RowSources& sources, std::size_t read_ahead)
        : formatter(snapshot, sources, read_ahead), times(snapshot) {}
    FrameFormatter formatter;
    StampTimes times;
    FrameRow row;
    std::string number;
  };

  // The text a row sorts by (a number's: NumberBytes).
  std::string_view TextOf(Reading& r, std::int64_t frame) const {
    if (numeric_) {
      r.number = NumberBytes(NumberOf(r, frame));
      return r.number;
    }
    r.formatter.Format(frame, -1, r.row, ColumnBit(column_));
    return CellText(r.row, static_cast<int>(column_));
  }

  std::optional<std::int64_t> NumberOf(Reading& reading, std::int64_t frame) const {
    const FrameRecord& r = snapshot_.Frame(frame);
    switch (column_) {
      case FrameColumn::kNumber:
        return frame;
      case FrameColumn::kPort:
        if (r.Length() > 0) return KissPort(r.type);
        return std::nullopt;
      case FrameColumn::kLength:
        return std::max(r.Length() - 1, 0);
      case FrameColumn::kTime:
        return reading.times.Millis(r.StampNumber());
      case FrameColumn::kDelta: {
        const std::int64_t previous = PreviousListed(capture_order_, frame);
        const std::optional<std::int64_t> time = reading.times.Millis(r.StampNumber());
        if (previous < 0 || !time) return std::nullopt;
        const std::optional<std::int64_t> before = reading.times.FrameMillis(previous);
        if (!before) return std::nullopt;
        return *time - *before;
      }
      default:
        break;
    }
    reading.formatter.Format(frame, -1, reading.row, ColumnBit(column_));
    const std::string& text = CellText(reading.row, static_cast<int>(column_));
    std::int64_t value = 0;
    const int base = column_ == FrameColumn::kPid ? 16 : 10;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (column_ == FrameColumn::kPid && text.size() != 2) return std::nullopt;
    return value;
  }

  Word Directed(Word key) const { return descending_ ? ((Word{1} << key_bits_) - 1) ^ key : key; }
  void SetKey(std::size_t i, Word key) {
    words_[i] = Directed(key) << place_bits_ | (words_[i] & place_mask_);
  }

  // Keys of numbers: none 0, a value 1 + its distance from the smallest, shifted right where
  // the range is wider than the key. Two passes (numbers are cheap to find again): the range,
  // then the keys.
  bool KeyNumbers() {
    const std::size_t n = count_;
    const std::size_t slices = Threads(n);
    std::vector<std::int64_t> lowest(slices, std::numeric_limits<std::int64_t>::max());
    std::vector<std::int64_t> highest(slices, std::numeric_limits<std::int64_t>::min());
    std::atomic<bool> stopped = false;
    Word low = 0;
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) {
        const std::int64_t least = *std::min_element(lowest.begin(), lowest.end());
        const std::int64_t most = *std::max_element(highest.begin(), highest.end());
        low = static_cast<Word>(least);
        const Word span = most >= least ? static_cast<Word>(most) - low : 0;
        shift_ = span == ~Word{0} ? 1 : 0;
        while (std::bit_width((span >> shift_) + 1) > static_cast<unsigned>(key_bits_)) ++shift_;
      }
      InSlices(n, slices, [&](std::size_t slice, std::size_t from, std::size_t to) {
        Reading reading(snapshot_, sources_, kReadAhead);
        for (std::size_t i = from; i < to; ++i) {
          if (stopped || !Step(i - from, to - from, slice == 0 && pass == 1)) {
            stopped = true;
            return;
          }
          const std::optional<std::int64_t> v = NumberOf(reading, FrameOf(words_[i]));
          if (pass == 0) {
            if (v) {
              lowest[slice] = std::min(lowest[slice], *v);
              highest[slice] = std::max(highest[slice], *v);
            }
          } else {
            SetKey(i, v ? ((static_cast<Word>(*v) - low) >> shift_) + 1 : 0);
          }
        }
      });
      if (stopped) return false;
    }
    return true;
  }

  // Splitters sampled evenly from words_[begin..end) (their texts from known on), within a
  // quarter of the budget.
  Splitters Sample(std::size_t begin, std::size_t end, std::size_t known) const {
    const std::size_t n = end - begin;
    const std::size_t count = std::min(n, Splitters::Most(key_bits_));
    std::vector<Word> picked;
    picked.reserve(count);
    for (std::size_t k = 0; k < count; ++k) picked.push_back(words_[begin + k * n / count]);
    std::sort(picked.begin(), picked.end(), [this](Word x, Word y) { return ByFrame(x, y); });
    Reading reading(snapshot_, sources_, 0);
    std::vector<std::string> texts;
    std::size_t bytes = 0;
    for (Word w : picked) {
      const std::string_view text = TextOf(reading, FrameOf(w));
      const std::string_view rest = text.substr(std::min(known, text.size()));
      if (bytes + rest.size() > budget_ / 4) break;
      bytes += rest.size();
      texts.emplace_back(rest);
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    return Splitters(std::move(texts), key_bits_);
  }

  // Keys of the rows words_[begin..end) (in the order of their frames) by their texts from
  // known on; first: the whole list, in slices, with progress. Nothing when cancelled.
  std::optional<Splitters> KeyTexts(std::size_t begin, std::size_t end, std::size_t known,
                                    bool first) {
    Splitters splitters = Sample(begin, end, known);
    const std::size_t n = end - begin;
    const std::size_t slices = first ? Threads(n) : 1;
    std::atomic<bool> stopped = false;
    InSlices(n, slices, [&](std::size_t slice, std::size_t from, std::size_t to) {
      Reading reading(snapshot_, sources_, first ? kReadAhead : kSparseReadAhead);
      for (std::size_t i = begin + from; i < begin + to; ++i) {
        if (stopped || !Step(i - begin - from, to - from, slice == 0 && first)) {
          stopped = true;
          return;
        }
        const std::string_view text = TextOf(reading, FrameOf(words_[i]));
        const std::string_view rest = text.substr(std::min(known, text.size()));
        SetKey(i, splitters.Key(rest));
      }
    });
    if (stopped) return std::nullopt;
    return splitters;
  }

  // The groups of words_[begin..end) (sorted) whose keys tie and do not tell their texts:
  // with splitters, those that say so; numbers, every tie of a shifted key.
  void TiedGroups(std::size_t begin, std::size_t end, const Splitters* splitters, std::size_t known,
                  std::vector<Group>& groups) const {
    for (std::size_t i = begin; i < end;) {
      const Word key = words_[i] >> place_bits_;
      std::size_t j = i + 1;
      while (j < end && (words_[j] >> place_bits_) == key) ++j;
      if (j - i > 1) {
        const Word plain = Directed(key);
        if (splitters == nullptr) {
          groups.push_back({Narrow(i), Narrow(j), 0, kUnknown});
        } else if (splitters->Untold(plain)) {
          groups.push_back(
              {Narrow(i), Narrow(j), Narrow(known + splitters->Known(plain)), kUnknown});
        }
      }
      i = j;
    }
  }

  // A tied row in a pass of Settle: its word, and its group. window holds its frame until it is
  // read; then, of a group read whole, where its text is in the pass's texts (slice << 62 |
  // offset << 32 | size); of one read in windows, the next 8 bytes of its text behind those its
  // group shares (and size_more the size of the text from there).
  struct Entry {
    Word word;
    Word window;
    std::uint32_t group;
    std::uint32_t size_more;  // size << 1, | 1 when the text goes on behind the window
  };
  static constexpr std::size_t kWindow = 8;

  // Settles the groups. A pass through the frames of as many of their rows as the budget holds
  // reads, of a group whose texts are known to fit the budget, the texts whole and sorts the group
  // by them; of any other group the next 8 bytes of each row's text behind those the group
  // shares, and whether its rows hold the same text (alike in length and a 64-bit hash of what
  // follows). A group whose rows do is settled; the others are sorted by those bytes and their
  // ties go on, 8 bytes further, their texts' size now known. A group with more rows than a pass
  // holds is keyed again, with splitters of its own.
  bool Settle(std::vector<Group> groups) {
    const std::size_t most_rows = std::max<std::size_t>(budget_ / sizeof(Entry), 1);
    while (!groups.empty()) {
      std::vector<Group> next;
      for (std::size_t g = 0; g < groups.size();) {
        if (groups[g].end - groups[g].begin > most_rows) {
          if (!Rekey(groups[g++])) return false;
          continue;
        }
        std::vector<Group> now;
        std::size_t rows = 0;
        std::size_t bytes = 0;
        for (; g < groups.size(); ++g) {
          const Group& group = groups[g];
          const std::size_t size = group.end - group.begin;
          const std::size_t whole = group.bytes <= budget_ ? group.bytes : 0;
          if (size > most_rows || rows + size > most_rows || bytes + whole > budget_) break;
          now.push_back(group);
          rows += size;
          bytes += whole;
        }
        if (!SettleNow(now, next)) return false;
      }
      groups.swap(next);
    }
    return true;
  }

  // One pass of Settle over the groups of now; the ties left go into next.
  bool SettleNow(const std::vector<Group>& now, std::vector<Group>& next) {
    std::vector<Entry> entries;
    std::vector<char> whole(now.size());
    std::size_t rows = 0;
    std::size_t whole_bytes = 0;
    for (std::size_t g = 0; g < now.size(); ++g) {
      whole[g] = now[g].bytes <= budget_ ? 1 : 0;
      rows += now[g].end - now[g].begin;
      if (whole[g]) whole_bytes += now[g].bytes;
    }
    entries.reserve(rows);
    for (std::size_t g = 0; g < now.size(); ++g) {
      for (std::size_t i = now[g].begin; i < now[g].end; ++i) {
        // The frame goes where the window will: sorting by it reads nothing else.
        entries.push_back(
            {words_[i], static_cast<Word>(FrameOf(words_[i])), static_cast<std::uint32_t>(g), 0});
      }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& x, const Entry& y) { return x.window < y.window; });
    // Whether every row of a group read in windows holds the same text.
    struct Alike {
      std::size_t hash = 0;
      std::uint32_t size = 0;
      bool seen = false;
      bool all = true;
    };
    // The rows are read in slices of their frames, each with texts and findings of its own.
    const std::size_t slices = Threads(entries.size());
    std::vector<std::vector<Alike>> alikes(slices, std::vector<Alike>(now.size()));
    std::vector<std::string> texts(slices);
    const bool dense = entries.size() * 64 > rows_.size();
    std::atomic<bool> stopped = false;
    InSlices(entries.size(), slices, [&](std::size_t slice, std::size_t from, std::size_t to) {
      Reading reading(snapshot_, sources_, dense ? kReadAhead : kSparseReadAhead);
      std::vector<Alike>& alike = alikes[slice];
      std::string& kept = texts[slice];
      kept.reserve(whole_bytes);  // address space; what is written is the slice's share
      for (std::size_t e = from; e < to; ++e) {
        if (stopped || !Step(e - from, to - from, false)) {
          stopped = true;
          return;
        }
        Entry& entry = entries[e];
        const auto frame = static_cast<std::int64_t>(std::exchange(entry.window, 0));
        const std::string_view text = TextOf(reading, frame);
        const std::string_view rest =
            text.substr(std::min<std::size_t>(now[entry.group].known, text.size()));
        if (whole[entry.group]) {
          entry.window =
              static_cast<Word>(slice) << 62 | static_cast<Word>(kept.size()) << 32 | rest.size();
          kept.append(rest);
          continue;
        }
        bool nul = false;
        for (std::size_t i = 0; i < kWindow; ++i) {
          const unsigned char byte = i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0;
          nul = nul || (i < rest.size() && byte == 0);
          entry.window = entry.window << 8 | byte;
        }
        const bool more = nul || rest.size() > kWindow;
        entry.size_more =
            static_cast<std::uint32_t>(std::min<std::size_t>(rest.size(), INT32_MAX) << 1) |
            (more ? 1 : 0);
        Alike& same = alike[entry.group];
        if (!same.all) continue;
        const std::size_t hash = std::hash<std::string_view>{}(rest);
        const std::uint32_t size = Narrow(rest.size());
        if (!same.seen) {
          same = {hash, size, true, true};
        } else if (same.hash != hash || same.size != size) {
          same.all = false;
        }
      }
    });
    if (stopped) return false;
    std::vector<Alike>& alike = alikes[0];
    for (std::size_t slice = 1; slice < slices; ++slice) {
      for (std::size_t g = 0; g < now.size(); ++g) {
        const Alike& other = alikes[slice][g];
        Alike& same = alike[g];
        if (!other.seen) continue;
        if (!same.seen) {
          same = other;
        } else {
          same.all = same.all && other.all && same.hash == other.hash && same.size == other.size;
        }
      }
    }
    // Each group's rows in their order, the places breaking ties.
    const bool descending = descending_;
    const auto text_of = [&texts](Word piece) {
      return std::string_view(texts[piece >> 62])
          .substr(piece >> 32 & 0x3FFFFFFFu, piece & 0xFFFFFFFFu);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
      if (x.group != y.group) return x.group < y.group;
      if (whole[x.group]) {
        const int c = text_of(x.window).compare(text_of(y.window));
        if (c != 0) return (c < 0) != descending;
      } else if (!alike[x.group].all) {
        if (x.window != y.window) return (x.window < y.window) != descending;
        const bool mx = (x.size_more & 1) != 0;
        const bool my = (y.size_more & 1) != 0;
        if (mx != my) return (mx < my) != descending;
      }
      return x.word < y.word;
    });
    std::size_t e = 0;
    for (std::size_t g = 0; g < now.size(); ++g) {
      const Group& group = now[g];
      const std::size_t first = e;
      for (std::size_t i = group.begin; i < group.end; ++i) words_[i] = entries[e++].word;
      if (whole[g] || alike[g].all) continue;
      for (std::size_t k = first; k < e;) {
        std::size_t j = k + 1;
        std::size_t bytes =
            (entries[k].size_more >> 1) - std::min<std::size_t>(kWindow, entries[k].size_more >> 1);
        while (j < e && entries[j].window == entries[k].window &&
               (entries[j].size_more & 1) == (entries[k].size_more & 1)) {
          const std::size_t size = entries[j].size_more >> 1;
          bytes += size - std::min(kWindow, size);
          ++j;
        }
        if (j - k > 1 && (entries[k].size_more & 1) != 0) {
          next.push_back({Narrow(group.begin + (k - first)), Narrow(group.begin + (j - first)),
                          Narrow(group.known + kWindow), Narrow(bytes)});
        }
        k = j;
      }
    }
    return true;
  }

  // Keys the rows of group again by their texts behind the bytes they share, with splitters of
  // their own, and settles the ties of those keys.
  bool Rekey(const Group& group) {
    Word* begin = words_ + group.begin;
    Word* end = words_ + group.end;
    std::sort(begin, end, [this](Word x, Word y) { return ByFrame(x, y); });
    const std::optional<Splitters> splitters = KeyTexts(group.begin, group.end, group.known, false);
    if (!splitters) return false;
    SortWords(begin, end);
    std::vector<Group> groups;
    TiedGroups(group.begin, group.end, &*splitters, group.known, groups);
    return Settle(std::move(groups));
  }

  const IndexSnapshot& snapshot_;
  const RowSources& sources_;
  const std::vector<std::int64_t>& rows_;
  const std::vector<std::int64_t>& capture_order_;
  FrameColumn column_;
  bool descending_;
  const std::atomic<bool>* cancel_;
  const PassProgress& progress_;
  std::size_t budget_;
  int place_bits_;
  int key_bits_;
  Word place_mask_;
  bool numeric_ = false;
  int shift_ = 0;  // of the numbers' keys
  std::vector<std::int64_t> storage_;
  Word* words_ = nullptr;  // storage_'s bytes
  std::size_t count_ = 0;
};

}  // namespace

PassEnd SortRows(const IndexSnapshot& snapshot, const RowSources& sources,
                 const std::vector<std::int64_t>& rows,
                 const std::vector<std::int64_t>& capture_order, FrameColumn column,
                 bool descending, std::vector<std::int64_t>& sorted,
                 const std::atomic<bool>* cancel, const PassProgress& progress,
                 std::size_t text_budget) {
  if (rows.size() >= std::numeric_limits<std::uint32_t>::max()) return PassEnd::kCancelled;
  if (rows.size() < 2) {
    sorted = rows;
    return PassEnd::kDone;
  }
  Sorter sorter(snapshot, sources, rows, capture_order, column, descending, cancel, progress,
                text_budget);
  return sorter.Sort(sorted) ? PassEnd::kDone : PassEnd::kCancelled;
}

}  // namespace packscope
