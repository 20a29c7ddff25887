// The Map and Plots tabs' feed over a small capture: what the plots offer to pick, the subject of
// a row, and what the map is given as the filter, the span and the tab shown change (the survey's
// positions without a pass, a pass of its own otherwise, nothing made twice or while hidden).
#include "framelist/map_plots_feed.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;

constexpr std::int64_t kT0 = 1'700'000'000'000;

std::string Aprs(const testing::Address& source, const std::string& info) {
  return Kiss(Ax25Frame({"APRS"}, source, {}, 0x03, 0xF0, info));
}

// Frames (from 0): 0 stamp, 1 QQ1AAA placed, 2 QQ2BBB's status, 3 stamp a minute on, 4 QQ1AAA
// moved, 5 object LEADER, 6 QQ7XX-15 through an igate, 7 a NET/ROM frame of QQ5NET.
std::string Capture() {
  return Kiss(BinaryStamp(kT0)) + Aprs({"QQ1AAA"}, "!4810.00N/01126.00E>") +
         Aprs({"QQ2BBB"}, ">on the air") + Kiss(BinaryStamp(kT0 + 60000)) +
         Aprs({"QQ1AAA"}, "!4811.00N/01127.00E>") +
         Aprs({"QQ0QQ"}, ";LEADER   *092345z4810.50N/01130.75E>") +
         Aprs({"QQ4GHI", 10}, "}QQ7XX-15>APRS,TCPIP,QQ4GHI-10*:=4801.12N\\01145.06En") +
         Kiss(Ax25Frame({"NODES"}, {"QQ5NET"}, {}, 0x03, 0xCF, "\xFFNODE"));
}

// Runs the passes on the test's thread when asked; counts those of each lane.
class Host : public FrameListHost {
 public:
  void StartPass(int lane, std::string_view, Work work, std::function<void()> done) override {
    StopPass(lane);
    ++started[lane];
    passes_.push_back({lane, std::move(work), std::move(done)});
  }
  void StopPass(int lane) override {
    std::erase_if(passes_, [lane](const Pass& p) { return p.lane == lane; });
  }
  bool PassRunning(int lane) const override {
    return running_ == lane || std::any_of(passes_.begin(), passes_.end(),
                                           [lane](const Pass& p) { return p.lane == lane; });
  }
  void RowsChanged(const RowsChange&) override { Look(); }
  void ListChanged(unsigned) override { Look(); }

  void Drain() {
    while (!passes_.empty()) {
      Pass p = std::move(passes_.front());
      passes_.pop_front();
      std::atomic<bool> cancel{p.lane == cancel_lane};
      running_ = p.lane;
      p.work(&cancel, [](std::int64_t, std::int64_t) {});
      running_ = -1;
      if (p.done) p.done();
    }
  }
  void Look() {
    if (feed != nullptr) feed->Update();
  }

  MapPlotsFeed* feed = nullptr;
  std::map<int, int> started;
  int cancel_lane = -1;

 private:
  struct Pass {
    int lane;
    Work work;
    std::function<void()> done;
  };
  std::deque<Pass> passes_;
  int running_ = -1;
};

struct Shown {
  std::shared_ptr<const PositionCollector> positions;
  bool fit = false;
  std::string caption;
};

class MapPlotsFeedTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    list_ = std::make_unique<FrameList>(host_);
    feed_ = std::make_unique<MapPlotsFeed>(
        *list_, kFirstFreeLane,
        [this](std::shared_ptr<const PositionCollector> p, bool fit, const std::string& caption) {
          maps_.push_back({std::move(p), fit, caption});
        },
        [this](PlotsSource source) { plots_.push_back(std::move(source)); });
    host_.feed = feed_.get();
    list_->Open(WriteCapture("c.kss", Capture()));
    host_.Drain();
  }

  // The names of the tracks shown last, and their points.
  std::map<std::string, std::size_t> Tracks() const {
    std::map<std::string, std::size_t> tracks;
    if (maps_.empty() || !maps_.back().positions) return tracks;
    for (const auto& [key, t] : maps_.back().positions->Tracks())
      tracks[key.second] = t.points.size();
    return tracks;
  }

  Host host_;
  std::unique_ptr<FrameList> list_;
  std::unique_ptr<MapPlotsFeed> feed_;
  std::vector<Shown> maps_;
  std::vector<PlotsSource> plots_;
};

TEST_F(MapPlotsFeedTest, SubjectsAreTheHeardStationsThenWhatOnlyTheMapPlaced) {
  std::vector<std::string> names;
  for (const PlotSubject& s : PlotSubjects(list_->Statistics())) {
    names.push_back(std::string(AprsSubjectKindName(s.kind)) + " " + s.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"station QQ0QQ", "station QQ1AAA", "station QQ2BBB",
                                             "station QQ4GHI-10", "station QQ5NET",
                                             "station QQ7XX-15", "object LEADER"}));
  EXPECT_TRUE(PlotSubjects(nullptr).empty());
}

TEST_F(MapPlotsFeedTest, TheSubjectOfARowIsWhatItsPacketTellsOf) {
  const struct {
    std::int64_t frame;
    std::optional<PlotSubject> subject;
  } cases[] = {
      {1, PlotSubject{AprsSubjectKind::kStation, "QQ1AAA"}},
      {2, PlotSubject{AprsSubjectKind::kStation, "QQ2BBB"}},  // no values of its own
      {5, PlotSubject{AprsSubjectKind::kObject, "LEADER"}},
      {6, PlotSubject{AprsSubjectKind::kStation, "QQ7XX-15"}},  // not the igate
      {7, PlotSubject{AprsSubjectKind::kStation, "QQ5NET"}},    // not APRS: its source
      {0, std::nullopt},                                        // a stamp
      {8, std::nullopt},                                        // beyond the capture
      {-1, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FrameSubject(list_->Snapshot(), c.frame), c.subject) << "frame " << c.frame;
  }
}

TEST_F(MapPlotsFeedTest, TheMapFollowsTheFilterAndTheSpanOnlyWhileShown) {
  // Hidden: nothing is made.
  EXPECT_TRUE(maps_.empty());
  feed_->SetMapShown(true);
  ASSERT_EQ(maps_.size(), 1u);
  // Every frame: the survey's positions, no pass of the map's own, fitted once.
  EXPECT_EQ(maps_[0].positions, list_->Statistics()->positions);
  EXPECT_TRUE(maps_[0].fit);
  EXPECT_EQ(host_.started[kFirstFreeLane], 0);
  EXPECT_EQ(Tracks(),
            (std::map<std::string, std::size_t>{{"LEADER", 1}, {"QQ1AAA", 2}, {"QQ7XX-15", 1}}));
  EXPECT_EQ(maps_[0].caption, "2 stations, 1 object (1 moved)");
  feed_->Update();
  EXPECT_EQ(maps_.size(), 1u) << "shown again without a change";

  // A filter: a pass over its rows; the view is not fitted again.
  ASSERT_TRUE(list_->ApplyFilter("src == QQ1AAA or src == QQ0QQ"));
  host_.Drain();
  EXPECT_EQ(host_.started[kFirstFreeLane], 1);
  ASSERT_EQ(maps_.size(), 2u);
  EXPECT_FALSE(maps_[1].fit);
  EXPECT_EQ(Tracks(), (std::map<std::string, std::size_t>{{"LEADER", 1}, {"QQ1AAA", 2}}));
  EXPECT_EQ(maps_[1].caption, "1 station, 1 object (1 moved) in the frames shown");

  // The span of the first minute: QQ1AAA's first position alone.
  feed_->SetSpan(TimeSpan{kT0, kT0 + 59999});
  host_.Drain();
  EXPECT_EQ(Tracks(), (std::map<std::string, std::size_t>{{"QQ1AAA", 1}}));
  EXPECT_EQ(maps_.back().caption,
            "1 station in the frames shown, 2023-11-14 22:13:20 to 2023-11-14 22:14:19 UTC");

  // Changes while hidden wait for the tab; the span without a filter needs a pass too.
  feed_->SetMapShown(false);
  const std::size_t before = maps_.size();
  ASSERT_TRUE(list_->ApplyFilter(""));
  host_.Drain();
  EXPECT_EQ(maps_.size(), before);
  feed_->SetMapShown(true);
  host_.Drain();
  EXPECT_EQ(Tracks(), (std::map<std::string, std::size_t>{{"QQ1AAA", 1}}));
  EXPECT_EQ(host_.started[kFirstFreeLane], 3);

  // A cancelled pass shows what it placed, says so, and is made again at the next look.
  host_.cancel_lane = kFirstFreeLane;
  feed_->SetSpan(TimeSpan{kT0, kT0 + 120000});
  host_.Drain();
  EXPECT_NE(maps_.back().caption.find("cancelled"), std::string::npos) << maps_.back().caption;
  host_.cancel_lane = -1;
  feed_->Update();
  host_.Drain();
  EXPECT_EQ(Tracks(),
            (std::map<std::string, std::size_t>{{"LEADER", 1}, {"QQ1AAA", 2}, {"QQ7XX-15", 1}}));
  // Back to all time: the survey's again.
  feed_->SetSpan(std::nullopt);
  EXPECT_EQ(maps_.back().positions, list_->Statistics()->positions);

  // Another capture through a filter: the positions before go at once, the new ones fill the
  // view.
  ASSERT_TRUE(list_->ApplyFilter("src == QQ1AAA"));
  host_.Drain();
  list_->Open(WriteCapture("d.kss", Capture()));
  EXPECT_EQ(maps_.back().positions, nullptr);
  host_.Drain();
  EXPECT_TRUE(maps_.back().fit);
  EXPECT_EQ(Tracks(), (std::map<std::string, std::size_t>{{"QQ1AAA", 2}}));
}

TEST_F(MapPlotsFeedTest, ThePlotsReadTheRowsShownOnceEachTime) {
  EXPECT_TRUE(plots_.empty());
  feed_->SetPlotsShown(true);
  ASSERT_EQ(plots_.size(), 1u);
  EXPECT_EQ(plots_[0].rows, list_->SharedCaptureOrder());
  EXPECT_EQ(plots_[0].subjects.size(), 7u);
  feed_->Update();
  EXPECT_EQ(plots_.size(), 1u);
  ASSERT_TRUE(list_->ApplyFilter("src == QQ1AAA"));
  host_.Drain();
  ASSERT_GE(plots_.size(), 2u);
  EXPECT_EQ(*plots_.back().rows, (std::vector<std::int64_t>{1, 4}));
  // The picker offers what the frames shown tell of, once their statistics are made.
  EXPECT_EQ(plots_.back().subjects,
            (std::vector<PlotSubject>{{AprsSubjectKind::kStation, "QQ1AAA"}}));
}

}  // namespace
}  // namespace packscope
