// The heard list against a plain model of it (ordered maps of every count): random traffic of
// stations that each send to a few destinations over a few paths, and one that sends to a
// thousand, so that both the counts kept in a station's record and those of the shared table
// are read back, sorted and summed.
#include "commands/heard_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ax25/ax25_text.h"
#include "support/ax25_frames.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

struct ModelStation {
  std::int64_t frames = 0;
  std::optional<std::int64_t> first, last;
  std::map<std::string, std::int64_t> destinations, paths, aprs_types;
};

HeardCounts Counts(const std::map<std::string, std::int64_t>& m) {
  HeardCounts out;
  for (const auto& [key, n] : m) out.emplace_back(key, n);
  return out;
}

TEST(HeardListTest, CountsEveryStationAsAPlainModelDoes) {
  std::mt19937 random(7);
  const auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  HeardList heard;
  std::map<std::string, ModelStation> model;
  AprsPacket status;
  status.type = AprsType::kStatus;
  for (int i = 0; i < 20000; ++i) {
    // QQ0BIG sends to a thousand destinations; the others to one of three, over 0 to 2 digis.
    const bool big = i % 10 == 0;
    const Address source{big ? "QQ0BIG" : "QQ" + std::to_string(below(500)), below(3)};
    const Address destination{big ? "D" + std::to_string(i / 10 % 1000)
                                  : "APZ00" + std::to_string(below(3))};
    std::vector<Address> path;
    for (int d = below(3); d > 0; --d)
      path.push_back({"WIDE" + std::to_string(d), 1, below(2) == 0});
    const std::string frame = Ax25Frame(destination, source, path, 0x03, 0xF0, ">x");
    Ax25Details details;
    DescribeAx25({reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()}, details);
    ASSERT_EQ(details.problem, Ax25Problem::kNone);
    const std::optional<std::int64_t> time =
        below(4) == 0 ? std::nullopt : std::optional<std::int64_t>(1451651696789 + below(100000));
    const bool aprs = below(2) == 0;
    heard.Add(details, time, aprs ? &status : nullptr);

    ModelStation& m = model[details.source.call];
    ++m.frames;
    if (time) {
      m.first = std::min(m.first.value_or(*time), *time);
      m.last = std::max(m.last.value_or(*time), *time);
    }
    ++m.destinations[details.destination.call];
    std::string text;
    AppendDigipeaterPath(text, details);
    ++m.paths[text.empty() ? "direct" : text];
    if (aprs) ++m.aprs_types["status"];
  }
  ASSERT_EQ(heard.Size(), model.size());
  std::size_t i = 0;
  std::size_t most = 0;
  for (const auto& [call, m] : model) {
    SCOPED_TRACE(call);
    ASSERT_EQ(heard.Call(i), call);
    const HeardStation s = heard.Station(i);
    EXPECT_EQ(s.frames, m.frames);
    EXPECT_EQ(heard.Frames(i), m.frames);
    EXPECT_EQ(s.first, m.first);
    EXPECT_EQ(s.last, m.last);
    EXPECT_EQ(s.destinations, Counts(m.destinations));
    EXPECT_EQ(s.paths, Counts(m.paths));
    EXPECT_EQ(s.aprs_types, Counts(m.aprs_types));
    most = std::max(most, s.destinations.size());
    ++i;
  }
  EXPECT_GT(most, 300u) << "the QQ0BIG stations send to hundreds of destinations each";
}

}  // namespace
}  // namespace packscope
