// The heard list: per station (source callsign) the frames heard, first and last heard, the
// destinations and the digipeater paths, counted over AX.25 frames. The stats layout writes it
// as its "stations" object; the frame list window shows it as a table.
//
//   QQ2XY-7   3 frames   2016-01-01 12:35:17.726 .. 12:36:21.041   APRS 2, QQ5BBS-1 1
//                                                                 direct 2, RELAY 1
//
// A path is the digipeaters as the monitor layout writes them (AppendDigipeaterPath,
// ax25/ax25_text.h: "QQ0DIG-1*,WIDE2-1"), "direct" for none.
//
// Captures of a million stations are read as readily as captures of ten: a station costs about
// 80 bytes (its record, its callsign once, and its first destination, path and APRS type
// counted in place), further destinations and paths go to one hash table for all stations, and
// the stations are sorted by callsign once, when they are first read back.
#ifndef PACKSCOPE_COMMANDS_HEARD_LIST_H_
#define PACKSCOPE_COMMANDS_HEARD_LIST_H_

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"

namespace packscope {

// Texts with their counts, by text (byte order). The texts point into the HeardList.
using HeardCounts = std::vector<std::pair<std::string_view, std::int64_t>>;

struct HeardPosition {
  double lat = 0;
  double lon = 0;
  std::optional<std::int64_t> time;
};

// One station as read back from the list.
struct HeardStation {
  std::int64_t frames = 0;
  std::optional<std::int64_t> first;  // earliest and latest stamp, ms since 1970 UTC
  std::optional<std::int64_t> last;
  HeardCounts destinations;
  HeardCounts paths;
  HeardCounts aprs_types;  // APRS frames by type ("position", "third-party", ...)
  // The station's own last position: objects, items and third-party packets place others.
  std::optional<HeardPosition> last_position;
};

class HeardList {
 public:
  HeardList();
  ~HeardList();
  HeardList(HeardList&&) noexcept;
  HeardList& operator=(HeardList&&) noexcept;

  // One frame read whole as AX.25 (details.problem kNone), heard at time (its stamp, if any);
  // aprs: its APRS reading, null when it is not an APRS frame. The addresses are read from their
  // blocks (with or without their callsign texts, DescribeAx25 writes them). (A stamp of the least
  // int64 counts as none: no calendar shows it.)
  void Add(const Ax25Details& details, const std::optional<std::int64_t>& time,
           const AprsPacket* aprs = nullptr);

  // The stations, read back in callsign order (byte order); i from 0 to Size() - 1. The first
  // read after an Add sorts them: a list read from two threads at once is sorted (Sort) first.
  std::size_t Size() const;
  std::string_view Call(std::size_t i) const;
  std::int64_t Frames(std::size_t i) const;
  std::optional<std::int64_t> First(std::size_t i) const;
  std::optional<std::int64_t> Last(std::size_t i) const;
  HeardStation Station(std::size_t i) const;
  void Sort() const;

  // for (const auto& [call, station] : list.Stations()), in callsign order.
  class Range;
  Range Stations() const;

 private:
  struct Tables;
  std::unique_ptr<Tables> t_;
};

class HeardList::Range {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::pair<std::string_view, HeardStation>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    Iterator(const HeardList& list, std::size_t i) : list_(&list), i_(i) {}
    value_type operator*() const { return {list_->Call(i_), list_->Station(i_)}; }
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return i_ == other.i_; }

   private:
    const HeardList* list_;
    std::size_t i_;
  };

  explicit Range(const HeardList& list) : list_(list) {}
  Iterator begin() const { return Iterator(list_, 0); }
  Iterator end() const { return Iterator(list_, list_.Size()); }
  std::size_t size() const { return list_.Size(); }

 private:
  const HeardList& list_;
};

inline HeardList::Range HeardList::Stations() const { return Range(*this); }

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_HEARD_LIST_H_
