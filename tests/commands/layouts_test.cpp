// The converter's own layouts (pcap, jsonl, monitor), run in process through the same command
// the converter uses, and the stamp helpers they share.
#include "commands/layouts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture/errors.h"
#include "capture/headless_window.h"
#include "capture/output_file.h"
#include "commands/commands.h"
#include "commands/frame_text.h"
#include "commands/monitor_layout.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/failing_device.h"
#include "support/test_files.h"

// Every allocation of the test program, counted (operator new below).
std::atomic<std::int64_t> g_allocations{0};

namespace packscope {
namespace {

using nlohmann::json;
using testing::Address;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::Lines;
using testing::TextStamp;

// 2016-01-01 12:34:56.789 UTC
constexpr std::uint64_t kStampMillis = 1451651696789;

std::span<const std::uint8_t> Span(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The frames every layout test uses, un-escaped.
const std::string kUiWithDigis =
    Ax25Frame({"CQ", 0, true}, {"QQ0QQ", 1}, {{"RELAY", 0, true}, {"WIDE2", 1}}, 0x03, 0xF0,
              "payload text\r");
// I frame, N(R) 5, P, N(S) 2; its information holds bytes that KISS escapes.
const std::string kIFrame =
    Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0xB4, 0xF0, std::string("hi\xC0\xDB", 4));
// RR response, N(R) 3, F.
const std::string kRrFrame =
    Ax25Frame({"QQ0QQ", 1}, {"QQ1QQ", 0, true}, {}, 0x71, std::nullopt, "");
const std::string kSabmFrame =
    Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0x3F, std::nullopt, "");
const std::string kShortFrame = std::string(
    "\x00"
    "ABC",
    4);
const std::string kTxDelay = std::string("\x01\x05", 2);

class LayoutTest : public testing::TempDirTest {
 protected:
  // Runs the layout over capture bytes into out.<extension>; returns what was written.
  std::string Run(const ConverterLayout& layout, const std::string& capture_bytes) {
    state_ = DecoderState();
    state_.Device = device_;
    state_.CaptureFileName = WriteCapture("cap.kss", capture_bytes);
    const std::string out = PathOf(std::string("out.") + std::string(layout.extension));
    ok_ = RunFrameWriterCommand(state_, window_, layout.extension, layout.make_writer, out);
    return testing::ReadFile(out);
  }
  static const ConverterLayout& Layout(std::string_view name) {
    for (const ConverterLayout& l : kConverterLayouts) {
      if (l.name == name) return l;
    }
    throw std::logic_error("no such layout");
  }

  // A stamp, then the four AX.25 frames, a short frame and a KISS command frame; before the stamp
  // one frame without a time.
  std::string Capture() const {
    return Kiss(kSabmFrame) + Kiss(BinaryStamp(kStampMillis)) + Kiss(kUiWithDigis) + Kiss(kIFrame) +
           Kiss(kRrFrame) + Kiss(kSabmFrame) + Kiss(kShortFrame) + Kiss(kTxDelay);
  }

  DecoderState state_;
  HeadlessWindow window_;
  OutputDevice* device_ = nullptr;  // what Run writes with
  bool ok_ = false;
};

// --- pcap ---

struct PcapRecord {
  std::uint32_t seconds;
  std::uint32_t micros;
  std::uint32_t caplen;
  std::uint32_t len;
  std::string data;
};

struct PcapFile {
  std::uint32_t magic = 0;
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint32_t snaplen = 0;
  std::uint32_t linktype = 0;
  std::vector<PcapRecord> records;
  bool trailing_garbage = false;
};

std::uint32_t Le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

// A reader of classic little-endian pcap files, independent of libpcap.
PcapFile ReadPcap(const std::string& bytes) {
  PcapFile f;
  if (bytes.size() < 24) return f;
  f.magic = Le32(bytes, 0);
  f.major = static_cast<std::uint16_t>(Le32(bytes, 4) & 0xFFFF);
  f.minor = static_cast<std::uint16_t>(Le32(bytes, 4) >> 16);
  f.snaplen = Le32(bytes, 16);
  f.linktype = Le32(bytes, 20);
  std::size_t at = 24;
  while (at + 16 <= bytes.size()) {
    PcapRecord r{
        Le32(bytes, at), Le32(bytes, at + 4), Le32(bytes, at + 8), Le32(bytes, at + 12), {}};
    at += 16;
    if (at + r.caplen > bytes.size()) {
      f.trailing_garbage = true;
      return f;
    }
    r.data = bytes.substr(at, r.caplen);
    at += r.caplen;
    f.records.push_back(r);
  }
  f.trailing_garbage = at != bytes.size();
  return f;
}

TEST_F(LayoutTest, PcapRecordsRoundTrip) {
  const PcapFile f = ReadPcap(Run(Layout("pcap"), Capture()));
  ASSERT_TRUE(ok_);
  EXPECT_EQ(f.magic, 0xA1B2C3D4U);  // microsecond time stamps
  EXPECT_EQ(f.major, 2);
  EXPECT_EQ(f.minor, 4);
  EXPECT_EQ(f.linktype, 202U);  // LINKTYPE_AX25_KISS
  EXPECT_GE(f.snaplen, 65535U);
  EXPECT_FALSE(f.trailing_garbage);
  // Every frame but the timestamp, un-escaped, type byte first.
  const std::vector<std::string> frames = {kSabmFrame, kUiWithDigis, kIFrame, kRrFrame,
                                           kSabmFrame, kShortFrame,  kTxDelay};
  ASSERT_EQ(f.records.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f.records[i].data, frames[i]);
    EXPECT_EQ(f.records[i].len, frames[i].size());
    // Before the stamp no time; after it the stamp's time.
    EXPECT_EQ(f.records[i].seconds, i == 0 ? 0U : 1451651696U);
    EXPECT_EQ(f.records[i].micros, i == 0 ? 0U : 789000U);
  }
}

TEST_F(LayoutTest, PcapTimesFollowTheStamps) {
  const std::string capture = Kiss(BinaryStamp(946684800000)) + Kiss(kSabmFrame) +
                              Kiss(TextStamp("2016-01-01 12:34:56.500 UTC")) + Kiss(kSabmFrame) +
                              Kiss(TextStamp("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx UTC")) +
                              Kiss(kSabmFrame) + Kiss(std::string());
  const PcapFile f = ReadPcap(Run(Layout("pcap"), capture));
  ASSERT_EQ(f.records.size(), 4U);
  EXPECT_EQ(f.records[0].seconds, 946684800U);
  EXPECT_EQ(f.records[0].micros, 0U);
  // A text stamp in ISO form gives its time; any other text gives none.
  EXPECT_EQ(f.records[1].seconds, 1451651696U);
  EXPECT_EQ(f.records[1].micros, 500000U);
  EXPECT_EQ(f.records[2].seconds, 0U);
  // An empty frame is a record of no bytes.
  EXPECT_EQ(f.records[3].caplen, 0U);
  EXPECT_EQ(f.records[3].seconds, 0U);
}

TEST_F(LayoutTest, PcapOfACaptureWithoutFramesHasTheHeaderOnly) {
  const std::string bytes = Run(Layout("pcap"), "");
  ASSERT_TRUE(ok_);
  EXPECT_EQ(bytes.size(), 24U);
  EXPECT_EQ(ReadPcap(bytes).linktype, 202U);
}

// --- the display stays as it was ---

TEST_F(LayoutTest, NoLayoutTouchesTheDisplay) {
  for (const ConverterLayout& layout : kConverterLayouts) {
    SCOPED_TRACE(layout.name);
    window_.SetDisplayText("text of an earlier pass");
    Run(layout, Capture());
    ASSERT_TRUE(ok_);
    EXPECT_EQ(window_.DisplayText(), "text of an earlier pass");
    EXPECT_EQ(window_.Label2(),
              PathOf(std::string("out.") + std::string(layout.extension)) + " has been written");
    EXPECT_EQ(window_.Label1(), "8 frames / 128 bytes");
    EXPECT_EQ(state_.Observer, nullptr);
  }
}

// --- written whole or not at all ---

TEST_F(LayoutTest, AFailedPassLeavesAnEarlierFileAsItWas) {
  for (const ConverterLayout& layout : kConverterLayouts) {
    SCOPED_TRACE(layout.name);
    const std::string out = PathOf(std::string("out.") + std::string(layout.extension));
    testing::WriteFile(out, "earlier");
    // A frame longer than the longest frame handled stops the pass.
    std::string too_long = Kiss(kSabmFrame);
    too_long += '\xC0';
    too_long.append(static_cast<std::size_t>(kMaxFrameLength) + 1, 'A');
    too_long += '\xC0';
    window_.ClearErrors();
    Run(layout, too_long);
    EXPECT_FALSE(ok_);
    EXPECT_EQ(testing::ReadFile(out), "earlier");
    ASSERT_EQ(window_.Errors().size(), 1U);
    EXPECT_NE(window_.Errors()[0].find("longer than"), std::string::npos);
  }
}

TEST_F(LayoutTest, AFullDiskLeavesNoFile) {
  // Enough frames that every layout fills the output's buffer during the pass (the sessions
  // layout writes its one session at the end).
  std::string capture = Kiss(kSabmFrame) + Kiss(BinaryStamp(kStampMillis));
  for (int i = 0; i < 20000; ++i) capture += Kiss(kUiWithDigis);
  for (const ConverterLayout& layout : kConverterLayouts) {
    SCOPED_TRACE(layout.name);
    window_.ClearErrors();
    testing::FailingDevice full_disk(0, ENOSPC);
    device_ = &full_disk;
    Run(layout, capture);
    device_ = nullptr;
    EXPECT_FALSE(ok_);
    EXPECT_FALSE(testing::FileExists(PathOf(std::string("out.") + std::string(layout.extension))));
    ASSERT_EQ(window_.Errors().size(), 1U);
    EXPECT_NE(window_.Errors()[0].find("No space left on device"), std::string::npos)
        << window_.Errors()[0];
    // Only the output file was there: no temporary file is left behind.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, 1U);
  }
}

TEST_F(LayoutTest, TheCaptureItselfIsNeverTheOutput) {
  const std::string capture = WriteCapture("cap.kss", Capture());
  state_.CaptureFileName = capture;
  const ConverterLayout& layout = Layout("jsonl");
  EXPECT_FALSE(
      RunFrameWriterCommand(state_, window_, layout.extension, layout.make_writer, capture));
  EXPECT_EQ(testing::ReadFile(capture), Capture());
  ASSERT_EQ(window_.Errors().size(), 1U);
}

// --- jsonl ---

TEST_F(LayoutTest, JsonLinesCarryTheFrameFields) {
  const std::vector<std::string> lines = Lines(Run(Layout("jsonl"), Capture()));
  ASSERT_TRUE(ok_);
  ASSERT_EQ(lines.size(), 7U);
  std::vector<json> objects;
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    ASSERT_NO_THROW(objects.push_back(json::parse(line)));
    EXPECT_TRUE(objects.back().is_object());
    EXPECT_EQ(objects.back().size(), objects.front().size());  // every key in every line
  }

  // Before any stamp: no time. Frame numbers count the timestamp frame too.
  const json& first = objects[0];
  EXPECT_EQ(first["frame"], 1);
  EXPECT_EQ(first["offset"], 0);
  EXPECT_TRUE(first["stamp"].is_null());
  EXPECT_TRUE(first["stamp_ms"].is_null());
  EXPECT_TRUE(first["time"].is_null());
  EXPECT_TRUE(first["aprs"].is_null());

  const json& ui = objects[1];
  EXPECT_EQ(ui["frame"], 3);
  EXPECT_EQ(ui["offset"], Kiss(kSabmFrame).size() + Kiss(BinaryStamp(kStampMillis)).size());
  EXPECT_EQ(ui["stamp"], "1 Jan 2016 12:34:56.789 UTC");
  EXPECT_EQ(ui["stamp_ms"], kStampMillis);
  EXPECT_EQ(ui["time"], "2016-01-01T12:34:56.789Z");
  EXPECT_EQ(ui["port"], 0);
  EXPECT_EQ(ui["command"], 0);
  EXPECT_EQ(ui["destination"], "CQ");
  EXPECT_EQ(ui["source"], "QQ0QQ-1");
  EXPECT_EQ(ui["digipeaters"], json::parse(R"([{"call":"RELAY","repeated":true},
                                                {"call":"WIDE2-1","repeated":false}])"));
  EXPECT_EQ(ui["cr"], "command");
  EXPECT_EQ(ui["kind"], "U");
  EXPECT_EQ(ui["name"], "UI");
  EXPECT_EQ(ui["code"], 0);
  EXPECT_TRUE(ui["ns"].is_null());
  EXPECT_TRUE(ui["nr"].is_null());
  EXPECT_EQ(ui["pf"], false);
  EXPECT_EQ(ui["pid"], 0xF0);
  EXPECT_EQ(ui["pid_name"], "No layer 3");
  EXPECT_EQ(ui["payload_hex"], "70 61 79 6C 6F 61 64 20 74 65 78 74 0D");
  EXPECT_EQ(ui["frame_hex"].get<std::string>().substr(0, 23), "00 86 A2 40 40 40 40 E0");
  EXPECT_TRUE(ui["problem"].is_null());
  // A UI frame with PID F0 whose field begins with no APRS data type identifier is no APRS.
  EXPECT_TRUE(ui["aprs"].is_null());

  const json& i = objects[2];
  EXPECT_EQ(i["kind"], "I");
  EXPECT_TRUE(i["name"].is_null());
  EXPECT_TRUE(i["code"].is_null());
  EXPECT_EQ(i["ns"], 2);
  EXPECT_EQ(i["nr"], 5);
  EXPECT_EQ(i["pf"], true);
  EXPECT_EQ(i["digipeaters"], json::array());
  EXPECT_EQ(i["payload_hex"], "68 69 C0 DB");  // un-escaped
  EXPECT_TRUE(i["aprs"].is_null());            // PID F0, but an I frame

  const json& rr = objects[3];
  EXPECT_EQ(rr["kind"], "S");
  EXPECT_EQ(rr["name"], "RR");
  EXPECT_EQ(rr["code"], 0);
  EXPECT_EQ(rr["nr"], 3);
  EXPECT_TRUE(rr["ns"].is_null());
  EXPECT_EQ(rr["pf"], true);
  EXPECT_EQ(rr["cr"], "response");
  EXPECT_TRUE(rr["pid"].is_null());
  EXPECT_EQ(rr["payload_hex"], "");

  const json& sabm = objects[4];
  EXPECT_EQ(sabm["kind"], "U");
  EXPECT_EQ(sabm["name"], "SABM");
  EXPECT_EQ(sabm["code"], 7);
  EXPECT_EQ(sabm["pf"], true);
  EXPECT_TRUE(sabm["pid"].is_null());

  const json& shorter = objects[5];
  EXPECT_EQ(shorter["problem"],
            "too short for an AX.25 header: 3 bytes after the type byte, 15 needed");
  EXPECT_TRUE(shorter["destination"].is_null());
  EXPECT_TRUE(shorter["kind"].is_null());
  EXPECT_EQ(shorter["frame_hex"], "00 41 42 43");
  EXPECT_TRUE(shorter["aprs"].is_null());

  // A KISS command is legal KISS: no AX.25 frame, and nothing wrong.
  const json& command = objects[6];
  EXPECT_EQ(command["command"], 1);
  EXPECT_TRUE(command["source"].is_null());
  EXPECT_TRUE(command["problem"].is_null());
  EXPECT_TRUE(command["damage"].is_null());
}

TEST_F(LayoutTest, JsonLinesOfOddFrames) {
  const std::string port2 = Ax25Frame({"CQ"}, {"QQ0QQ"}, {}, 0x07, std::nullopt, "", 0x20);
  const std::string strange_call =
      Ax25Frame({"CQ"}, {std::string("Q\x01\"Q", 4)}, {}, 0x03, 0x10, "");
  const std::string capture = Kiss(TextStamp("xxxxxxxxx\xE9t\xE9 2016-01-01 UTC")) +
                              Kiss(std::string()) + Kiss(port2) + Kiss(strange_call) +
                              std::string(
                                  "\xC0\x00"
                                  "ABC",
                                  5);
  const std::vector<std::string> lines = Lines(Run(Layout("jsonl"), capture));
  ASSERT_EQ(lines.size(), 4U);
  const json empty = json::parse(lines[0]);
  // A text stamp in another form: its text (as UTF-8), no time.
  EXPECT_EQ(empty["stamp"], "xxxxxxxxx\xC3\xA9t\xC3\xA9 2016-01-01 UTC");
  EXPECT_TRUE(empty["stamp_ms"].is_null());
  EXPECT_TRUE(empty["port"].is_null());
  EXPECT_TRUE(empty["problem"].is_null());  // back-to-back FENDs are legal KISS
  EXPECT_EQ(empty["frame_hex"], "");

  const json unassigned = json::parse(lines[1]);
  EXPECT_EQ(unassigned["port"], 2);
  EXPECT_EQ(unassigned["command"], 0);
  EXPECT_EQ(unassigned["kind"], "U");
  EXPECT_TRUE(unassigned["name"].is_null());
  EXPECT_EQ(unassigned["code"], 1);
  EXPECT_TRUE(unassigned["cr"].is_null());

  const json odd = json::parse(lines[2]);
  EXPECT_EQ(odd["source"], std::string("Q\x01\"Q", 4));  // escaped in the line, intact when read
  EXPECT_EQ(odd["pid"], 0x10);
  EXPECT_EQ(odd["pid_name"], "AX.25 layer 3");
  // A sender's departure from AX.25: a problem, no damage.
  EXPECT_EQ(odd["problem"], "characters outside A-Z, 0-9 and blank in the callsign of the source");
  EXPECT_TRUE(odd["damage"].is_null());

  // Damage to the recording and a departure from AX.25, apart.
  const json cut = json::parse(lines[3]);
  EXPECT_EQ(cut["problem"],
            "cut off by the end of the capture; too short for an AX.25 header: 3 bytes after the "
            "type byte, 15 needed");
  EXPECT_EQ(cut["damage"], json::array({"cut-off"}));
}

// --- monitor ---

TEST_F(LayoutTest, MonitorLines) {
  const std::vector<std::string> lines = Lines(Run(Layout("monitor"), Capture()));
  ASSERT_TRUE(ok_);
  const std::vector<std::string> expected = {
      "QQ0QQ-1>QQ1QQ: SABM P",
      "2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*,WIDE2-1: UI pid=F0 \"payload text<0x0D>\"",
      "2016-01-01 12:34:56.789 QQ0QQ-1>QQ1QQ: I ns=2 nr=5 P pid=F0 \"hi<0xC0><0xDB>\"",
      "2016-01-01 12:34:56.789 QQ1QQ>QQ0QQ-1: RR nr=3 F",
      "2016-01-01 12:34:56.789 QQ0QQ-1>QQ1QQ: SABM P",
      "2016-01-01 12:34:56.789 (too short for an AX.25 header: 3 bytes after the type byte, 15 "
      "needed) 00 41 42 43",
      "2016-01-01 12:34:56.789 (type byte 0x01 (port 0, command 1) is not a data frame) 01 05",
  };
  EXPECT_EQ(lines, expected);
}

// APRS frames in jsonl and monitor: the field's object and its line in words, with the
// telemetry definitions of a station applied to its later reports.
TEST_F(LayoutTest, AprsFieldsInJsonlAndMonitor) {
  const auto aprs = [](const Address& source, const std::string& info) {
    return Kiss(Ax25Frame({"APRS"}, source, {{"WIDE1", 1, true}}, 0x03, 0xF0, info));
  };
  const std::string capture =
      Kiss(BinaryStamp(kStampMillis)) +
      aprs({"QQ1QQ", 9}, "=4903.50N/07201.75W>088/036/A=001234 on the road") +
      aprs({"QQ2QQ"}, ":QQ2QQ    :PARM.Battery,Temp") + aprs({"QQ2QQ"}, ":QQ2QQ    :UNIT.V,C") +
      aprs({"QQ2QQ"}, ":QQ2QQ    :EQNS.0,0.1,0,0,0.5,-40") + aprs({"QQ2QQ"}, "T#007,125,110") +
      aprs({"QQ3QQ"}, "!9103.50N/07201.75W>");
  const std::vector<std::string> jsonl = Lines(Run(Layout("jsonl"), capture));
  ASSERT_EQ(jsonl.size(), 6u);
  EXPECT_EQ(json::parse(jsonl[0])["aprs"],
            json::parse(R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/>",
                            "course":88,"speed_kmh":66.7,"altitude_m":376.1,
                            "comment":" on the road"})"));
  EXPECT_EQ(json::parse(jsonl[4])["aprs"],
            json::parse(R"({"type":"telemetry","seq":7,"analog":[125,110],"values":[12.5,15],
                            "names":["Battery","Temp"],"units":["V","C"]})"));
  EXPECT_EQ(json::parse(jsonl[5])["aprs"]["error"], "latitude \"9103.50N\" is over 90 degrees");

  const std::vector<std::string> monitor = Lines(Run(Layout("monitor"), capture));
  ASSERT_EQ(monitor.size(), 12u);
  EXPECT_EQ(monitor[1],
            "  Position 49\u00B003.50'N 72\u00B001.75'W, car, 67 km/h course 88\u00B0, alt 376 m, "
            "\" on the road\"");
  EXPECT_EQ(monitor[9], "  Telemetry #007: Battery 12.5 V, Temp 15 C");
  EXPECT_EQ(monitor[10].substr(0, 24), "2016-01-01 12:34:56.789 ");
  EXPECT_EQ(monitor[11], "  Position, car, invalid: latitude \"9103.50N\" is over 90 degrees");
}

TEST(MonitorLineTest, DetailsOfEachKind) {
  struct Case {
    std::string frame;
    std::string line;
  };
  const Address a{"QQ0QQ", 1, true};
  const Address b{"QQ1QQ"};
  const std::vector<Case> cases = {
      {Ax25Frame(a, b, {}, 0x03, 0xF0, "x"), "QQ1QQ>QQ0QQ-1: UI pid=F0 \"x\""},
      {Ax25Frame(a, b, {}, 0x13, 0xCF, ""), "QQ1QQ>QQ0QQ-1: UI P pid=CF"},
      {Ax25Frame(a, b, {}, 0x00, 0xF0, "ok"), "QQ1QQ>QQ0QQ-1: I ns=0 nr=0 pid=F0 \"ok\""},
      {Ax25Frame(b, a, {}, 0xA5, std::nullopt, ""), "QQ0QQ-1>QQ1QQ: RNR nr=5"},
      {Ax25Frame(b, a, {}, 0x19, std::nullopt, ""), "QQ0QQ-1>QQ1QQ: REJ nr=0 F"},
      {Ax25Frame(b, b, {}, 0x1D, std::nullopt, ""), "QQ1QQ>QQ1QQ: SREJ nr=0 P/F"},
      {Ax25Frame(a, b, {}, 0x53, std::nullopt, ""), "QQ1QQ>QQ0QQ-1: DISC P"},
      {Ax25Frame(b, a, {}, 0x73, std::nullopt, ""), "QQ0QQ-1>QQ1QQ: UA F"},
      {Ax25Frame(b, a, {}, 0x1F, std::nullopt, ""), "QQ0QQ-1>QQ1QQ: DM F"},
      {Ax25Frame(b, a, {}, 0x87, std::nullopt, std::string("\x01\x02\x03", 3)),
       "QQ0QQ-1>QQ1QQ: FRMR \"<0x01><0x02><0x03>\""},
      {Ax25Frame(a, b, {}, 0xAF, std::nullopt, ""), "QQ1QQ>QQ0QQ-1: XID"},
      {Ax25Frame(a, b, {}, 0xF3, std::nullopt, "ping"), "QQ1QQ>QQ0QQ-1: TEST P \"ping\""},
      {Ax25Frame(a, b, {}, 0x07, std::nullopt, ""), "QQ1QQ>QQ0QQ-1: U code=1"},
      {Ax25Frame(a, b, {{"R1", 0, true}, {"R2", 0, true}, {"R3"}}, 0x03, 0xF0, ""),
       "QQ1QQ>QQ0QQ-1,R1*,R2*,R3: UI pid=F0"},
      {Ax25Frame(a, {std::string("Q\x7FQ", 3)}, {}, 0x03, 0xF0, ""), "Q<0x7F>Q>QQ0QQ-1: UI pid=F0"},
      {Ax25Frame(a, b, {}, 0x03, 0xF0, "", 0x30), "port=3 QQ1QQ>QQ0QQ-1: UI pid=F0"},
      {std::string(), "(empty frame)"},
  };
  for (const Case& c : cases) {
    std::string line;
    AppendMonitorLine(line, Span(c.frame), "");
    EXPECT_EQ(line, c.line);
  }
  std::string line;
  AppendMonitorLine(line, Span(cases[0].frame), "12:00");
  EXPECT_EQ(line, "12:00 " + cases[0].line);
}

TEST_F(LayoutTest, MonitorTimeFromAStampInAnotherForm) {
  const std::string capture =
      Kiss(TextStamp("on the 1st of January, 12:00 UTC")) + Kiss(kSabmFrame);
  EXPECT_EQ(Lines(Run(Layout("monitor"), capture)),
            std::vector<std::string>{"e 1st of January, 12:00 UTC QQ0QQ-1>QQ1QQ: SABM P"});
}

// Where no date shows a binary stamp's time (from the year 10000 on, 2^63 ms and more) the
// window's text of the stamp stands in its place, also for a window that keeps no stamp log and
// so lets the pass make the texts of those stamps alone.
TEST_F(LayoutTest, MonitorTimeOfStampsWithoutADate) {
  constexpr std::uint64_t kLastDay = 253402214400000;  // 9999-12-31 00:00:00 UTC
  std::string capture;
  for (const std::uint64_t millis :
       {kLastDay + 86399999, kLastDay + 86400005, std::uint64_t{1} << 63, kStampMillis}) {
    capture += Kiss(BinaryStamp(millis)) + Kiss(kSabmFrame);
  }
  const std::vector<std::string> expected = {
      "9999-12-31 23:59:59.999 QQ0QQ-1>QQ1QQ: SABM P", "00:00:00.005 UTC QQ0QQ-1>QQ1QQ: SABM P",
      "00:00:00.808 UTC QQ0QQ-1>QQ1QQ: SABM P", "2016-01-01 12:34:56.789 QQ0QQ-1>QQ1QQ: SABM P"};
  EXPECT_EQ(Lines(Run(Layout("monitor"), capture)), expected);
  class NoStampLog : public HeadlessWindow {
    bool ShowsFramesAsRead() const override { return false; }
    bool KeepsStampLog() const override { return false; }
  } quiet;
  DecoderState state;
  state.CaptureFileName = WriteCapture("undated.kss", capture);
  const std::string out = PathOf("undated.monitor.txt");
  ASSERT_TRUE(
      RunFrameWriterCommand(state, quiet, "monitor.txt", Layout("monitor").make_writer, out));
  EXPECT_EQ(Lines(testing::ReadFile(out)), expected);
}

// A text stamp may hold any byte: its line breaks and other control characters do not break the
// one line of the frames behind it.
TEST_F(LayoutTest, MonitorTimeWithControlCharactersStaysOnOneLine) {
  const std::string capture =
      Kiss(TextStamp("on the 1st\r\nof Jan\xE9, 12:00\t UTC")) + Kiss(kSabmFrame);
  const std::string text = Run(Layout("monitor"), capture);
  EXPECT_EQ(text, "he 1st<0x0D><0x0A>of Jan\xC3\xA9, 12:00<0x09> UTC QQ0QQ-1>QQ1QQ: SABM P\n");
}

// --- stamp helpers ---

TEST(StampTextTest, ParsesTheIsoForm) {
  EXPECT_EQ(ParseStampText("2016-01-01 12:34:56.789 UTC"),
            std::optional<std::int64_t>(kStampMillis));
  EXPECT_EQ(ParseStampText("2016-01-01T12:34:56.789UTC"),
            std::optional<std::int64_t>(kStampMillis));
  EXPECT_EQ(ParseStampText("2016-01-01 12:34:56 UTC"), std::optional<std::int64_t>(1451651696000));
  EXPECT_EQ(ParseStampText("2016-01-01 12:34:56.7 UTC"),
            std::optional<std::int64_t>(1451651696700));
  EXPECT_EQ(ParseStampText("2016-01-01 12:34:56.07 UTC"),
            std::optional<std::int64_t>(1451651696070));
  EXPECT_EQ(ParseStampText("1970-01-01 00:00:00.000 UTC"), std::optional<std::int64_t>(0));
  EXPECT_EQ(ParseStampText("2016-02-29 00:00:00 UTC"), std::optional<std::int64_t>(1456704000000));
  EXPECT_EQ(ParseStampText("1969-12-31 23:59:59.500 UTC"), std::optional<std::int64_t>(-500));
}

TEST(StampTextTest, RejectsOtherTexts) {
  for (const char* text :
       {"", "UTC", "2016-01-01 12:34:56.789 utc", "2016-01-01 12:34:56.789",
        "2016-1-01 12:34:56 UTC", "2016-01-01 12:34 UTC", "2016-01-01 12:34:56. UTC",
        "2016-01-01 12:34:56.7890 UTC", "2015-02-29 00:00:00 UTC", "2016-04-31 00:00:00 UTC",
        "2016-13-01 00:00:00 UTC", "2016-01-01 24:00:00 UTC", "x2016-01-01 12:34:56 UTC",
        "2016-01-01 12:34:56 UTC "}) {
    EXPECT_EQ(ParseStampText(text), std::nullopt) << text;
  }
}

TEST(StampTextTest, IsoText) {
  EXPECT_EQ(IsoStampText(static_cast<std::int64_t>(kStampMillis)), "2016-01-01 12:34:56.789");
  EXPECT_EQ(IsoStampText(0), "1970-01-01 00:00:00.000");
  EXPECT_EQ(IsoStampText(5), "1970-01-01 00:00:00.005");
  EXPECT_EQ(IsoStampText(-500), "1969-12-31 23:59:59.500");
  EXPECT_EQ(IsoStampText(253402300799999), "9999-12-31 23:59:59.999");
  EXPECT_EQ(IsoStampText(253402300800000), "");  // year 10000
}

// --- gpx ---

// A place heard at one position is a waypoint with its last report, one that moved a track;
// ambiguous positions say so; an object whose state byte is wrong places nothing.
TEST_F(LayoutTest, GpxWaypointsAndTracks) {
  const auto aprs = [](const Address& source, const std::string& info) {
    return Kiss(Ax25Frame({"APRS"}, source, {}, 0x03, 0xF0, info));
  };
  const std::string capture =
      Kiss(BinaryStamp(kStampMillis)) + aprs({"QQ1QQ"}, "!4903.  N/07201.  W-first") +
      aprs({"QQ2QQ", 9}, "!4903.50N/07201.75W>/A=001234") +
      aprs({"QQ2QQ", 9}, "!4903.6 N/07201.7 W>") +
      aprs({"QQ3QQ"}, ";LEADER*092345z4903.50N/07201.75W>") +
      aprs({"QQ3QQ"}, ";LEADER   *092345z0000.00N/18000.00E>on the line") +
      Kiss(BinaryStamp(kStampMillis + 1000)) +
      aprs({"QQ1QQ"}, "!4903.  N/07201.  W#<last> & gone") +
      aprs({"QQ4QQ"}, "!9000.00S/18000.00W-") + aprs({"QQ4QQ"}, "!9000.00N/17959.99E-");
  EXPECT_EQ(Run(Layout("gpx"), capture),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"packscope-convert\" "
            "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
            " <wpt lat=\"49.058333\" lon=\"-72.025000\"><time>2016-01-01T12:34:57.789Z</time>"
            "<name>QQ1QQ</name><cmt>&lt;last&gt; &amp; gone</cmt><desc>position ambiguous to 1 "
            "minute</desc><sym>/#</sym><type>station</type></wpt>\n"
            " <wpt lat=\"0.000000\" lon=\"-180.000000\"><time>2016-01-01T12:34:56.789Z</time>"
            "<name>LEADER</name><cmt>on the line</cmt><sym>/&gt;</sym><type>object</type></wpt>\n"
            " <trk>\n  <name>QQ2QQ-9</name>\n  <type>station</type>\n  <trkseg>\n"
            "   <trkpt lat=\"49.058333\" lon=\"-72.029167\"><ele>376.1</ele>"
            "<time>2016-01-01T12:34:56.789Z</time></trkpt>\n"
            "   <trkpt lat=\"49.060833\" lon=\"-72.029167\"><time>2016-01-01T12:34:56.789Z</time>"
            "<desc>position ambiguous to 0.1 minute</desc></trkpt>\n"
            "  </trkseg>\n </trk>\n"
            " <trk>\n  <name>QQ4QQ</name>\n  <type>station</type>\n  <trkseg>\n"
            "   <trkpt lat=\"-90.000000\" lon=\"-180.000000\"><time>2016-01-01T12:34:57.789Z</time>"
            "</trkpt>\n"
            "   <trkpt lat=\"90.000000\" lon=\"179.999833\"><time>2016-01-01T12:34:57.789Z</time>"
            "</trkpt>\n"
            "  </trkseg>\n </trk>\n"
            "</gpx>\n");
}

TEST(PrintableTest, BytesOutsideAsciiPrintablesAreNamed) {
  EXPECT_EQ(
      [] {
        std::string out;
        AppendPrintable(out, std::string_view("a \x1F\x7E\x7F\x80\xFF", 7));
        return out;
      }(),
      "a <0x1F>~<0x7F><0x80><0xFF>");
  EXPECT_EQ(HexTextTrimmed(Span(std::string("\x00\xAB", 2))), "00 AB");
  EXPECT_EQ(HexTextTrimmed(Span(std::string())), "");
}

// A pass allocates nothing per frame, for the converter's window: a capture three times as long
// costs no more allocations (a few for buffers that grow to a longer frame are let through), in
// every layout but those whose output is built of what the frames hold (jsonl's and sessions'
// documents, stats' and gpx's tables) and series, whose records take their texts from jsonl's
// number and text writers (a string each).
TEST_F(LayoutTest, NoAllocationPerFrame) {
  class ConverterLike : public HeadlessWindow {
    bool ShowsFramesAsRead() const override { return false; }
    bool KeepsStampLog() const override { return false; }
  };
  const auto allocations = [&](const packscope::Layout& layout, std::int64_t frames) {
    gen::Options options;
    options.seed = 4;
    options.frames = frames;
    options.mix = true;
    DecoderState state;
    state.CaptureFileName = WriteCapture("frames.kss", gen::GenerateCaptureBytes(options));
    ConverterLike window;
    const std::int64_t before = g_allocations.load();
    EXPECT_TRUE(RunLayout(state, window, layout, PathOf("out")));
    return g_allocations.load() - before;
  };
  for (const packscope::Layout& layout : kLayouts) {
    if (layout.name == "jsonl" || layout.name == "stats" || layout.name == "gpx" ||
        layout.name == "sessions" || layout.name == "series") {
      continue;
    }
    const std::int64_t few = allocations(layout, 2000);
    const std::int64_t many = allocations(layout, 6000);
    EXPECT_LE(many, few + 8) << layout.name << ": " << few << " allocations for 2000 frames";
  }
}

TEST(LayoutRegistryTest, ExportOffersEveryLayoutByName) {
  // A dialog's filter names one layout; the name's extension finds a layout that writes it.
  std::set<std::string> filters;
  for (const Layout& layout : kLayouts) {
    EXPECT_TRUE(filters.insert(DialogFilter(layout)).second) << DialogFilter(layout);
    const Layout* by_name =
        LayoutForFileName("/x/Pass1" + std::string(layout.export_extension), nullptr);
    ASSERT_NE(by_name, nullptr) << layout.name;
    EXPECT_EQ(by_name->export_extension, layout.export_extension);
  }
  EXPECT_EQ(DialogFilter(*FindLayout("jsonl")), "JSON Lines (*.jsonl)");
  std::string error;
  for (const auto& [path, layout] :
       std::vector<std::pair<std::string, std::string>>{{"/x/PASS1.JSONL", "jsonl"},
                                                        {"/x/pass1.stats.json", "stats"},
                                                        {"/x/pass1.txt", "monitor"},
                                                        {"/x/pass1.hex", "hex-complete"},
                                                        {"/x/pass1.kss", "kiss"}}) {
    const Layout* found = LayoutForFileName(path, &error);
    ASSERT_NE(found, nullptr) << path;
    EXPECT_EQ(found->name, layout) << path;
  }
  EXPECT_EQ(LayoutForFileName("/x/pass1.json.bak", &error), nullptr);
  EXPECT_NE(error.find(".log, .hex, .txt, .pcap, .jsonl, .kss, .json, .gpx"), std::string::npos)
      << error;
}

}  // namespace
}  // namespace packscope

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// GCC sees free() for memory from operator new once it inlines these; the pair is replaced
// together, so they match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
