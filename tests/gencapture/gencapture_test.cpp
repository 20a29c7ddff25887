// The capture generator, checked by reading what it writes through the real frame loop, timestamp
// step and AX.25 decoder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "capture/decoder_state.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "commands/commands.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope::testing {
namespace {

using gen::FrameKind;
using gen::GeneratedFrame;

// What the decoder made of one frame.
struct Seen {
  bool timestamp = false;
  bool recovered = false;
  bool cut_off = false;
  std::string dest;
  std::string source;
  std::uint8_t control = 0;
  std::uint8_t pid = 0;
  std::int32_t length = 0;
  std::int16_t info_pos = 0;
  std::string payload_hex;
  double stamp_millis = 0;
  std::string stamp_text;
  std::uint8_t dest_ssid_byte = 0;
  std::uint8_t source_ssid_byte = 0;
};

class Collector : public CaptureObserver {
 public:
  void OnStrayEscape(std::int64_t) override { ++stray_escapes; }
  void OnFrame(const DecoderState& s, const FrameInfo& info) override {
    Seen seen{info.timestamp, info.recovered, info.cut_off,    s.DestCall,      s.SourceCall,
              s.ControlByte,  s.PidByte,      s.FrameLength,   s.InfoPos,       s.PayloadHex,
              s.StampMillis,  s.StampText,    s.FrameBytes[8], s.FrameBytes[15]};
    (info.timestamp ? stamps : frames).push_back(seen);
  }
  std::vector<Seen> frames;
  std::vector<Seen> stamps;
  int stray_escapes = 0;
};

struct ReadBack {
  Collector seen;
  std::int64_t frame_count = 0;
  std::string text4;
  std::vector<std::string> errors;
};

ReadBack ReadThroughCore(const std::string& path) {
  ReadBack r;
  DecoderState state;
  state.CaptureFileName = path;
  state.Observer = &r.seen;
  HeadlessWindow window;
  ShowCapture(state, window);
  r.frame_count = state.FrameCount;
  r.text4 = window.Text4();
  r.errors = window.Errors();
  return r;
}

std::string Shown(const gen::Address& a) {
  return a.ssid == 0 ? a.call : a.call + "-" + std::to_string(a.ssid);
}

std::string HexOf(const std::string& bytes) {
  std::string out;
  char group[4];
  for (const char c : bytes) {
    std::snprintf(group, sizeof group, "%02X ", static_cast<unsigned char>(c));
    out += group;
  }
  return out;
}

// Offset of the first byte where a and b differ, -1 when they are equal.
std::int64_t FirstDifference(const std::string& a, const std::string& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return ia == a.end() && ib == b.end() ? -1 : static_cast<std::int64_t>(ia - a.begin());
}

bool HasEscapedByte(const std::string& bytes) {
  return bytes.find('\xC0') != std::string::npos || bytes.find('\xDB') != std::string::npos;
}

class GencaptureTest : public TempDirTest {
 protected:
  // Generates, writes and reads back a capture.
  ReadBack Run(const gen::Options& options, std::vector<GeneratedFrame>& record,
               gen::Summary* summary = nullptr) {
    std::string bytes;
    const gen::Summary s = gen::GenerateCapture(
        options, [&](std::string_view block) { bytes.append(block); }, &record);
    if (summary != nullptr) *summary = s;
    EXPECT_EQ(s.bytes, static_cast<std::int64_t>(bytes.size()));
    return ReadThroughCore(WriteCapture("gen.kss", bytes));
  }
};

TEST_F(GencaptureTest, MixedTrafficReadsBackFrameByFrame) {
  gen::Options options;
  options.seed = 5;
  options.frames = 400;
  options.mix = true;
  std::vector<GeneratedFrame> record;
  gen::Summary summary;
  const ReadBack r = Run(options, record, &summary);

  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.frame_count, 800);
  EXPECT_EQ(r.seen.stamps.size(), 400u);
  EXPECT_EQ(r.seen.stray_escapes, 0);
  ASSERT_EQ(r.seen.frames.size(), record.size());
  ASSERT_EQ(record.size(), 400u);

  // Every kind of frame and of escape is present, so the comparison below covers them.
  EXPECT_GT(summary.ui_frames, 0);
  EXPECT_GT(summary.i_frames, 0);
  EXPECT_GT(summary.s_frames, 0);
  EXPECT_GT(summary.u_frames, 0);
  EXPECT_EQ(summary.ui_frames + summary.i_frames + summary.s_frames + summary.u_frames, 400);
  EXPECT_GT(std::count_if(record.begin(), record.end(),
                          [](const GeneratedFrame& f) { return HasEscapedByte(f.info); }),
            10);
  EXPECT_GT(std::count_if(record.begin(), record.end(),
                          [](const GeneratedFrame& f) {
                            return !f.digipeaters.empty() && f.digipeaters[0].high_bit;
                          }),
            0);

  std::int64_t previous_stamp = -1;
  for (std::size_t i = 0; i < record.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const GeneratedFrame& f = record[i];
    const Seen& s = r.seen.frames[i];
    EXPECT_FALSE(s.recovered);
    EXPECT_FALSE(s.cut_off);
    EXPECT_EQ(s.dest, Shown(f.destination));
    EXPECT_EQ(s.source, Shown(f.source));
    EXPECT_EQ(s.control, f.control);
    EXPECT_EQ(s.length, f.length + 1);
    // SSID bytes: reserved bits set, and the C bit on exactly one of the two (AX.25 2.0).
    EXPECT_EQ(s.dest_ssid_byte & 0x60, 0x60);
    EXPECT_EQ(s.source_ssid_byte & 0x60, 0x60);
    EXPECT_EQ((s.dest_ssid_byte & 0x80) != 0, f.destination.high_bit);
    EXPECT_NE((s.dest_ssid_byte & 0x80) != 0, (s.source_ssid_byte & 0x80) != 0);
    EXPECT_EQ(s.payload_hex, HexOf(f.info));
    const int digis = static_cast<int>(f.digipeaters.size());
    EXPECT_LE(digis, 2);
    const bool has_pid = f.kind == FrameKind::kUi || f.kind == FrameKind::kI;
    EXPECT_EQ(f.pid >= 0, has_pid);
    EXPECT_EQ(s.info_pos, 17 + 7 * digis + (has_pid ? 1 : 0));
    if (has_pid) {
      EXPECT_EQ(s.pid, 0xF0);
      EXPECT_GE(f.length, 20);
      EXPECT_LE(f.length, 240);
    } else {
      EXPECT_EQ(f.length, 15 + 7 * digis);
      EXPECT_TRUE(f.info.empty());
    }
    EXPECT_EQ(s.stamp_millis, static_cast<double>(f.stamp_millis));
    EXPECT_GT(f.stamp_millis, previous_stamp);
    previous_stamp = f.stamp_millis;
  }

  const std::vector<std::string> log = Lines(r.text4);
  ASSERT_EQ(log.size(), 400u);
  EXPECT_EQ(log[0].substr(0, 20), "00000151FD2F0895 -> ");
  EXPECT_EQ(log[0].substr(log[0].size() - 5), ".789\r");
}

TEST_F(GencaptureTest, StampForms) {
  gen::Options options;
  options.frames = 30;
  std::vector<GeneratedFrame> record;

  options.stamps = gen::StampForm::kText;
  ReadBack r = Run(options, record);
  EXPECT_EQ(r.frame_count, 60);
  EXPECT_EQ(r.text4, "");
  ASSERT_EQ(r.seen.frames.size(), 30u);
  EXPECT_EQ(r.seen.frames[0].stamp_text, "2016-01-01 12:34:56.789 UTC");
  EXPECT_EQ(r.seen.frames[29].stamp_text, gen::StampText(record[29].stamp_millis));

  record.clear();
  options.stamps = gen::StampForm::kNone;
  r = Run(options, record);
  EXPECT_EQ(r.frame_count, 30);
  EXPECT_TRUE(r.seen.stamps.empty());
  EXPECT_EQ(record[0].stamp_millis, -1);

  // A stamp with a C0 or DB among its bytes is escaped and still read as 9 bytes.
  record.clear();
  options.stamps = gen::StampForm::kBinary;
  options.start_millis = 0x00000151FDC0DB00;
  r = Run(options, record);
  EXPECT_EQ(r.frame_count, 60);
  EXPECT_EQ(r.seen.stray_escapes, 0);
  ASSERT_FALSE(r.seen.frames.empty());
  EXPECT_EQ(r.seen.frames[0].stamp_millis, static_cast<double>(0x00000151FDC0DB00));
  EXPECT_EQ(Lines(r.text4).size(), 30u);
}

TEST(GencaptureStampText, CalendarEdges) {
  EXPECT_EQ(gen::StampText(0), "1970-01-01 00:00:00.000 UTC");
  EXPECT_EQ(gen::StampText(gen::kDefaultStartMillis), "2016-01-01 12:34:56.789 UTC");
  EXPECT_EQ(gen::StampText(951782400005), "2000-02-29 00:00:00.005 UTC");
  EXPECT_EQ(gen::StampText(4107542399999), "2100-02-28 23:59:59.999 UTC");
  EXPECT_EQ(gen::StampText(253402300799999), "9999-12-31 23:59:59.999 UTC");
}

TEST_F(GencaptureTest, LengthRangeAndDigipeaters) {
  gen::Options options;
  options.frames = 200;
  options.min_length = 100;
  options.max_length = 100;
  options.max_digis = 0;
  std::vector<GeneratedFrame> record;
  ReadBack r = Run(options, record);
  ASSERT_EQ(r.seen.frames.size(), 200u);
  for (const Seen& s : r.seen.frames) {
    EXPECT_EQ(s.length, 101);
    EXPECT_EQ(s.control, 0x03);
    EXPECT_EQ(s.info_pos, 18);
  }

  record.clear();
  options.min_length = 80;
  options.max_length = 240;
  options.max_digis = 8;
  r = Run(options, record);
  ASSERT_EQ(r.seen.frames.size(), 200u);
  std::size_t most = 0;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const std::size_t digis = record[i].digipeaters.size();
    most = std::max(most, digis);
    EXPECT_EQ(r.seen.frames[i].info_pos, static_cast<std::int16_t>(18 + 7 * digis));
    EXPECT_EQ(r.seen.frames[i].payload_hex, HexOf(record[i].info));
  }
  EXPECT_EQ(most, 8u);

  // The shortest frames leave no room for a digipeater.
  record.clear();
  options.min_length = gen::kShortestFrame;
  options.max_length = gen::kShortestFrame;
  r = Run(options, record);
  for (const Seen& s : r.seen.frames) EXPECT_EQ(s.length, gen::kShortestFrame + 1);
}

// --stations: the UI frames' sources are the numbered stations in turn, and nothing else of the
// capture changes its length (the benchmarks compare one station with a million on equal bytes).
TEST_F(GencaptureTest, NumberedStationsSendInTurnAndChangeNoLength) {
  gen::Options options;
  options.frames = 300;
  options.stations = 37;
  std::vector<GeneratedFrame> record;
  const ReadBack r = Run(options, record);
  ASSERT_EQ(r.seen.frames.size(), 300u);
  for (std::size_t i = 0; i < r.seen.frames.size(); ++i) {
    EXPECT_EQ(r.seen.frames[i].source,
              i % 37 == 36
                  ? "Q00010"
                  : "Q0000" + std::string(1, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i % 37]))
        << i;
  }
  const std::string many = gen::GenerateCaptureBytes(options);
  options.stations = 1;
  EXPECT_EQ(gen::GenerateCaptureBytes(options).size(), many.size());
  options.stations = 0;
  EXPECT_EQ(gen::GenerateCaptureBytes(options).size(), many.size());
}

TEST(GencaptureBytes, SameSeedSameBytesAndSizeEndsOnAFrame) {
  gen::Options options;
  options.frames = 300;
  options.mix = true;
  const std::string a = gen::GenerateCaptureBytes(options);
  EXPECT_EQ(gen::GenerateCaptureBytes(options), a);
  options.seed = 2;
  EXPECT_NE(gen::GenerateCaptureBytes(options), a);

  options.seed = 1;
  for (const std::int64_t size : {1, 5000, 1500000}) {  // the last one over a write block
    SCOPED_TRACE("size " + std::to_string(size));
    options.frames = -1;
    options.size = size;
    std::vector<GeneratedFrame> record;
    const std::string b = gen::GenerateCaptureBytes(options, &record);
    ASSERT_GE(record.size(), 1u);
    EXPECT_GE(static_cast<std::int64_t>(b.size()), size);
    EXPECT_EQ(record.back().end_offset, static_cast<std::int64_t>(b.size()));
    if (record.size() > 1) {
      EXPECT_LT(record[record.size() - 2].end_offset, size);
    }
    EXPECT_EQ(b.back(), '\xC0');
    // The same frames as a --frames run of that many.
    options.frames = static_cast<std::int64_t>(record.size());
    options.size = -1;
    EXPECT_EQ(FirstDifference(gen::GenerateCaptureBytes(options), b), -1);
  }
  options.frames = -1;
  options.size = 0;
  EXPECT_EQ(gen::GenerateCaptureBytes(options), "");
}

// Connected sessions beside the UI traffic: their frames read back whole (modulo-128 I and S
// frames with their second control byte), as many as asked, the record's sessions holding only
// frames the capture has.
TEST(GencaptureBytes, SessionsReadBackAndKeepTheirLimits) {
  gen::Options options;
  options.sessions = true;
  options.frames = 3000;
  options.max_digis = 1;
  std::vector<GeneratedFrame> record;
  std::vector<gen::GeneratedSession> sessions;
  const std::string bytes = gen::GenerateCaptureBytes(options, &record, &sessions);
  ASSERT_EQ(record.size(), 3000u);
  EXPECT_EQ(gen::GenerateCaptureBytes(options), bytes);
  std::int64_t kinds[4] = {0, 0, 0, 0};
  std::int64_t extended = 0;
  for (const GeneratedFrame& f : record) {
    ++kinds[static_cast<int>(f.kind)];
    extended += f.control2 >= 0 ? 1 : 0;
    EXPECT_EQ(f.length,
              static_cast<int>(14 + 7 * f.digipeaters.size() + 1 + (f.control2 >= 0 ? 1 : 0) +
                               (f.pid >= 0 ? 1 : 0) + f.info.size()));
  }
  for (const std::int64_t n : kinds) EXPECT_GT(n, 100);
  EXPECT_GT(extended, 100);
  ASSERT_GT(sessions.size(), 10u);
  std::size_t last = 0;
  for (const gen::GeneratedSession& s : sessions) {
    ASSERT_FALSE(s.heard.empty());
    EXPECT_GE(s.heard.front().record, last);  // in the order of their first frames
    last = s.heard.front().record;
    for (const gen::SessionFrame& f : s.heard) {
      ASSERT_LT(f.record, record.size());
      EXPECT_EQ(record[f.record].kind, f.kind);
      if (f.kind == FrameKind::kI) {
        EXPECT_EQ(record[f.record].info, s.sent[f.direction][static_cast<std::size_t>(f.ns)]);
      }
    }
  }
  options.frames = -1;
  options.size = 200000;
  EXPECT_GE(gen::GenerateCaptureBytes(options).size(), 200000u);
}

TEST(GencaptureArguments, ParsesOptions) {
  const gen::ParsedArguments p = gen::ParseArguments(
      {"--seed=7",    "--size",      "1000",         "--stamps", "text",
       "--mix",       "--telemetry", "--min-length", "30",       "--max-length=31",
       "--max-digis", "8",           "--start-ms",   "0",        "-o",
       "out.kss",     "--sessions",  "--loss",       "12",       "--monitor-loss=0",
       "--mod128",    "100"});
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.options.seed, 7u);
  EXPECT_EQ(p.options.size, 1000);
  EXPECT_EQ(p.options.frames, -1);
  EXPECT_EQ(p.options.stamps, gen::StampForm::kText);
  EXPECT_TRUE(p.options.mix);
  EXPECT_TRUE(p.options.telemetry);
  EXPECT_EQ(p.options.min_length, 30);
  EXPECT_EQ(p.options.max_length, 31);
  EXPECT_EQ(p.options.max_digis, 8);
  EXPECT_EQ(p.options.start_millis, 0);
  EXPECT_EQ(p.options.output, "out.kss");
  EXPECT_TRUE(p.options.sessions);
  EXPECT_EQ(p.options.loss, 12);
  EXPECT_EQ(p.options.monitor_loss, 0);
  EXPECT_EQ(p.options.mod128, 100);

  const gen::ParsedArguments defaults = gen::ParseArguments({});
  EXPECT_EQ(defaults.error, "");
  EXPECT_EQ(defaults.options.frames, 100);
  EXPECT_EQ(defaults.options.size, -1);
  EXPECT_EQ(defaults.options.output, "-");
  EXPECT_TRUE(gen::ParseArguments({"--help"}).help);

  const gen::ParsedArguments traffic =
      gen::ParseArguments({"--receiver", "a:b.kss", "--receiver", "s.kss:60:+1000", "--receiver",
                           "w.kss:0:-500", "--doubles", "20", "--beacons=2", "--satellite", "5"});
  EXPECT_EQ(traffic.error, "");
  ASSERT_EQ(traffic.options.receivers.size(), 3u);
  const auto& r = traffic.options.receivers;
  EXPECT_EQ((std::vector<std::string>{r[0].output, r[1].output, r[2].output}),
            (std::vector<std::string>{"a:b.kss", "s.kss", "w.kss"}));
  EXPECT_EQ((std::vector<std::int64_t>{r[0].share, r[1].share, r[2].share, r[0].clock_ms,
                                       r[1].clock_ms, r[2].clock_ms}),
            (std::vector<std::int64_t>{100, 60, 0, 0, 1000, -500}));
  EXPECT_EQ(traffic.options.doubles_percent, 20);
  EXPECT_EQ(traffic.options.beacon_stations, 2);
  EXPECT_EQ(traffic.options.satellite_percent, 5);
}

TEST(GencaptureArguments, RejectsBadInput) {
  const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
      {{"--frames"}, "option --frames needs a value"},
      {{"--frames", "12x"}, "--frames: '12x' is not a whole number of 0 or more"},
      {{"--frames", "-1"}, "--frames: '-1' is not a whole number of 0 or more"},
      {{"--size", "99999999999999999999"}, "is not a whole number"},
      {{"--seed", "-3"}, "--seed: '-3' is not a whole number"},
      {{"--frames", "5", "--size", "9"}, "--frames and --size exclude each other"},
      {{"--stations", "0"}, "--stations: '0' is not a number of stations from 1 to 60466176"},
      {{"--min-length", "16"}, "--min-length: '16' is not a frame length from 17 to 65534"},
      {{"--max-length", "65535"}, "is not a frame length"},
      {{"--min-length", "50", "--max-length", "40"},
       "--min-length (50) is greater than --max-length (40)"},
      {{"--max-digis", "9"}, "--max-digis: '9' is not a number of digipeaters from 0 to 8"},
      {{"--stamps", "Binary"}, "--stamps: 'Binary' is not binary, text or none"},
      {{"--start-ms", "253402300800000"}, "--start-ms: '253402300800000' is not a time"},
      {{"--mix=1"}, "option --mix takes no value"},
      {{"--sessions=yes"}, "option --sessions takes no value"},
      {{"--loss", "51"}, "--loss: '51' is not a percentage from 0 to 50"},
      {{"--mod128", "101"}, "--mod128: '101' is not a percentage from 0 to 100"},
      {{"--colour"}, "unknown option '--colour'"},
      {{"out.kss"}, "unexpected argument 'out.kss'"},
      {{"-o", ""}, "-o: the output path is empty"},
      {{"--receiver", "n.kss:101"}, "--receiver: 'n.kss:101' is not PATH[:SHARE[:CLOCK_MS]]"},
      {{"--receiver", "-"}, "is not PATH"},
      {{"--receiver", "n.kss", "-o", "x.kss"}, "--receiver names the outputs; no -o"},
      {{"--receiver", "n.kss", "--size", "9"}, "no --size"},
      {{"--receiver", "n.kss", "--mix"}, "no --mix"},
      {{"--beacons", "3"}, "--beacons: '3' is not a number of stations from 0 to 2"},
      {{"--doubles", "5"}, "--doubles, --beacons and --satellite need --receiver"},
  };
  for (const auto& [args, message] : cases) {
    const gen::ParsedArguments p = gen::ParseArguments(args);
    EXPECT_NE(p.error.find(message), std::string::npos) << p.error;
  }
}

// The program itself: the committed sample is what its recorded command writes, and bad
// arguments leave no file behind.
class GencaptureProgramTest : public TempDirTest {
 protected:
  int Program(const std::string& args) {
    const std::string command =
        std::string("'") + PACKSCOPE_GENCAPTURE + "' " + args + " 2>'" + PathOf("stderr.txt") + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(GencaptureProgramTest, RemakesTheSample) {
  const std::string sample = ReadFile(PACKSCOPE_SAMPLE_FILE);
  ASSERT_FALSE(sample.empty()) << PACKSCOPE_SAMPLE_FILE;
  ASSERT_EQ(Program(std::string(PACKSCOPE_SAMPLE_ARGS) + " -o '" + PathOf("s.kss") + "'"), 0)
      << ReadFile(PathOf("stderr.txt"));
  EXPECT_EQ(FirstDifference(ReadFile(PathOf("s.kss")), sample), -1)
      << "samples/sample.kss differs from what `make sample` writes";

  // The sample shows what it is there for.
  const ReadBack r = ReadThroughCore(PACKSCOPE_SAMPLE_FILE);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.seen.stray_escapes, 0);
  EXPECT_EQ(r.seen.frames.size(), r.seen.stamps.size());
  EXPECT_GE(r.seen.frames.size(), 30u);
  EXPECT_LE(r.seen.frames.size(), 60u);
  auto count = [&](auto&& predicate) {
    return std::count_if(r.seen.frames.begin(), r.seen.frames.end(), predicate);
  };
  EXPECT_GT(count([](const Seen& s) { return (s.control & 0x03) == 0x01; }), 0);  // S
  EXPECT_GT(count([](const Seen& s) { return (s.control & 0x03) == 0x03 && s.control != 0x03; }),
            0);                                                                // U, not UI
  EXPECT_GT(count([](const Seen& s) { return (s.control & 0x01) == 0; }), 0);  // I
  EXPECT_GT(count([](const Seen& s) { return s.info_pos > 18; }), 0);          // digipeaters
  EXPECT_NE(sample.find("\xDB\xDC"), std::string::npos);
  EXPECT_NE(sample.find("\xDB\xDD"), std::string::npos);
}

TEST_F(GencaptureProgramTest, BadArgumentsWriteNothing) {
  EXPECT_EQ(Program("--frames 3 --max-digis 12 -o '" + PathOf("x.kss") + "'"), 2);
  EXPECT_FALSE(FileExists(PathOf("x.kss")));
  EXPECT_EQ(ReadFile(PathOf("stderr.txt")),
            "packscope-gencapture: --max-digis: '12' is not a number of digipeaters from 0 to 8 "
            "(see --help)\n");

  EXPECT_EQ(Program("--frames 3 -o '" + PathOf("no/such/folder/x.kss") + "'"), 1);
  EXPECT_NE(ReadFile(PathOf("stderr.txt")).find("No such file or directory"), std::string::npos);

  EXPECT_EQ(Program("--frames 3 --stamps none -o '" + PathOf("ok.kss") + "'"), 0);
  EXPECT_EQ(ReadThroughCore(PathOf("ok.kss")).frame_count, 3);
}

// A run that fails midway (here: a file size limit of 64 KiB) keeps the earlier capture of the
// name byte for byte, and leaves no partial file beside it.
TEST_F(GencaptureProgramTest, AFailedRunKeepsTheEarlierCapture) {
  WriteFile(PathOf("keep.kss"), "earlier capture");
  const std::string command = "ulimit -f 64; exec '" + std::string(PACKSCOPE_GENCAPTURE) +
                              "' --size 1000000 -o '" + PathOf("keep.kss") + "' 2>'" +
                              PathOf("stderr.txt") + "'";
  const int status = std::system(("bash -c \"" + command + "\"").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadFile(PathOf("stderr.txt")).find("File too large"), std::string::npos)
      << ReadFile(PathOf("stderr.txt"));
  EXPECT_EQ(ReadFile(PathOf("keep.kss")), "earlier capture");
  EXPECT_EQ(FileNames(), std::vector<std::string>({"keep.kss", "stderr.txt"}));
}

}  // namespace
}  // namespace packscope::testing
