// The health report (--check), in process: each kind of finding in a small capture written here,
// none in a clean one.
#include "commands/health_check.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::TextStamp;

class StringSink : public LineSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

// 2016-01-01 12:34:56.789 UTC
constexpr std::uint64_t kStampMillis = 1451651696789;

const std::string kUi = Ax25Frame({"CQ"}, {"QQ0QQ", 1}, {{"RELAY", 0, true}}, 0x03, 0xF0, "hello");
const std::string kSabm = Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0x3F, std::nullopt, "");

struct Report {
  int status = -1;
  std::vector<std::pair<std::int64_t, std::string>> findings;  // offset, tag
  std::vector<std::string> lines;
  std::string summary;
};

class HealthCheckTest : public testing::TempDirTest {
 protected:
  Report Check(const std::string& bytes, bool strict = false) {
    const std::string path = WriteCapture("c.kss", bytes);
    return CheckPath(path, strict);
  }
  Report CheckPath(const std::string& path, bool strict = false) {
    DecoderState state;
    StringSink sink;
    Report r;
    r.status = CheckCapture(state, window_, path, sink, strict);
    std::istringstream in(sink.text);
    std::string line;
    const std::string prefix = path + ": offset ";
    while (std::getline(in, line)) {
      r.lines.push_back(line);
      if (line.rfind(prefix, 0) == 0) {
        // "offset N: KIND: TAG: words" gives N and "KIND: TAG".
        const std::size_t colon = line.find(": ", prefix.size());
        const std::size_t kind_end = line.find(": ", colon + 2);
        const std::size_t tag_end = line.find(": ", kind_end + 2);
        r.findings.emplace_back(std::stoll(line.substr(prefix.size(), colon - prefix.size())),
                                line.substr(colon + 2, tag_end - colon - 2));
      } else {
        EXPECT_TRUE(r.summary.empty()) << "second summary line: " << line;
        r.summary = line;
      }
    }
    return r;
  }
  std::string Name() const { return PathOf("c.kss"); }

  HeadlessWindow window_;
};

using Findings = std::vector<std::pair<std::int64_t, std::string>>;

// Empty frames (back-to-back FENDs) and KISS command frames are legal KISS: no findings.
TEST_F(HealthCheckTest, ACleanCaptureHasNoFindings) {
  const std::string bytes =
      Kiss(BinaryStamp(kStampMillis)) + Kiss(kUi) + "\xC0\xC0" + Kiss(kSabm) +
      Kiss(std::string("\x01\x05", 2)) + Kiss("\x26\x01") + Kiss("\xFF") +
      Kiss(BinaryStamp(kStampMillis)) +  // the same time again is not backwards
      Kiss(Ax25Frame({"QQ0QQ", 1}, {"QQ1QQ", 0, true}, {}, 0x71, std::nullopt, "")) +
      Kiss(TextStamp("2016-01-01 12:35:00.000 UTC")) +
      Kiss(Ax25Frame({"APRS"}, {"QQ0QQ", 15}, std::vector<Address>(8, Address{"WIDE1", 1}), 0x03,
                     0xF0, std::string("\xC0\xDB escaped", 10), 0x10));
  const Report r = Check(bytes);
  EXPECT_EQ(r.status, kCheckClean);
  EXPECT_EQ(r.findings, Findings{});
  EXPECT_EQ(r.summary, Name() + ": 11 frames, no findings");
  EXPECT_EQ(r.lines.size(), 1U);
}

TEST_F(HealthCheckTest, AnEmptyCaptureIsClean) {
  const Report r = Check("");
  EXPECT_EQ(r.status, kCheckClean);
  EXPECT_EQ(r.summary, Name() + ": 0 frames, no findings");
}

struct FindingCase {
  const char* name;
  std::string bytes;
  Findings findings;
};

void PrintTo(const FindingCase& c, std::ostream* os) { *os << c.name; }

class FindingKindTest : public HealthCheckTest,
                        public ::testing::WithParamInterface<FindingCase> {};

// Each finding with its kind; the check fails on damage, and with strict on either kind.
TEST_P(FindingKindTest, FindsIt) {
  const FindingCase& c = GetParam();
  const Report r = Check(c.bytes);
  EXPECT_EQ(r.findings, c.findings);
  std::map<std::string, int> per_kind;
  for (const auto& [offset, finding] : c.findings) {
    const std::string kind = finding.substr(0, finding.find(':'));
    ++per_kind[kind];
    // The summary counts each tag under its kind.
    EXPECT_NE(r.summary.find(finding.substr(kind.size() + 2) + " "), std::string::npos)
        << r.summary;
  }
  for (const char* kind : {"damage", "sender"}) {
    const std::string count =
        per_kind.count(kind) != 0
            ? std::string(kind) + " " + std::to_string(per_kind[kind]) + " ("
            : std::string(kind == std::string("damage") ? "no damage" : "no sender findings");
    EXPECT_NE(r.summary.find(count), std::string::npos) << r.summary;
  }
  EXPECT_EQ(r.status, per_kind.count("damage") != 0 ? kCheckFindings : kCheckClean);
  EXPECT_EQ(Check(c.bytes, true).status, kCheckFindings);
}

const std::int64_t kUiSize = static_cast<std::int64_t>(Kiss(kUi).size());
const std::int64_t kStampSize = 11;  // C0 09 8 bytes C0

// A latitude over 90 degrees.
std::string BadPosition(std::uint8_t control, std::uint8_t pid) {
  return Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, control, pid, "!9103.50N/07201.75W-");
}
const std::int64_t kBadPositionSize = static_cast<std::int64_t>(Kiss(BadPosition(3, 0xF0)).size());

std::string SabmWithSource(const std::string& call) {
  return Ax25Frame({"QQ1QQ"}, {call}, {}, 0x3F, std::nullopt, "");
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, FindingKindTest,
    ::testing::Values(
        FindingCase{"skipped",
                    "AB" + Kiss(kUi),
                    // The first FEND ends the skip; the frame behind it has no FEND of its own.
                    {{0, "damage: skipped"}, {2, "damage: recovered"}}},
        FindingCase{"no_fend_at_all", "no FEND here", {{0, "damage: skipped"}}},
        FindingCase{
            "shared_fend", Kiss(kUi) + Kiss(kSabm).substr(1), {{kUiSize - 1, "damage: recovered"}}},
        FindingCase{"bad_escape",
                    Kiss(Ax25Frame({"CQ"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "x")) + "\xC0" +
                        Ax25Frame({"CQ"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "\xDBx") + "\xDB\xC0",
                    {{38, "damage: bad-escape"}, {40, "damage: bad-escape"}}},
        FindingCase{"cut_off",
                    Kiss(kUi) + Kiss(kSabm).substr(0, 10),
                    {{kUiSize, "damage: cut-off"}, {kUiSize, "sender: too-short"}}},
        // No data frame, no KISS command, no stamp: command 7, and 9 on port 1.
        FindingCase{"frame_type",
                    Kiss(std::string("\x07\x05", 2)) + Kiss("\x19rest"),
                    {{0, "damage: frame-type"}, {4, "damage: frame-type"}}},
        FindingCase{"too_short",
                    Kiss(std::string("\x00"
                                     "ABC",
                                     4)),
                    {{0, "sender: too-short"}}},
        FindingCase{"too_short_inside_digipeaters",
                    Kiss(Ax25Frame({"CQ"}, {"QQ0QQ"}, {{"RELAY"}}, 0x03, 0xF0, "").substr(0, 20)),
                    {{0, "sender: too-short"}}},
        FindingCase{"address_end",
                    Kiss(Ax25Frame({"CQ"}, {"QQ0QQ"}, std::vector<Address>(9, Address{"R"}), 0x03,
                                   0xF0, "")),
                    {{0, "sender: address-end"}}},
        FindingCase{
            "callsign_lower_case", Kiss(SabmWithSource("qq0qq")), {{0, "sender: callsign"}}},
        FindingCase{"callsign_control_character",
                    Kiss(Ax25Frame({"CQ"}, {"QQ0QQ"}, {{"RE\x01"}, {"R-2"}}, 0x03, 0xCF, "")),
                    {{0, "sender: callsign"}, {0, "sender: callsign"}}},
        FindingCase{
            "time_backwards",
            Kiss(BinaryStamp(kStampMillis)) + Kiss(kUi) + Kiss(BinaryStamp(kStampMillis - 1)),
            {{kStampSize + kUiSize, "damage: time-backwards"}}},
        FindingCase{"text_time_backwards",
                    Kiss(TextStamp("2016-01-01 12:00:00.000 UTC")) +
                        Kiss(TextStamp("2015-12-31 23:59:59.999 UTC")),
                    {{30, "damage: time-backwards"}}},
        FindingCase{"time_before_2000",
                    Kiss(BinaryStamp(946684799999)) + Kiss(BinaryStamp(946684800000)),
                    {{0, "damage: time-before-2000"}}},
        FindingCase{"text_time_before_2000",
                    Kiss(TextStamp("1999-12-31 23:59:59.999 UTC")),
                    {{0, "damage: time-before-2000"}}},
        // An APRS field is only that of a UI frame with PID F0: the same text under another
        // PID or in an I frame is no finding.
        FindingCase{"aprs",
                    Kiss(BadPosition(0x13, 0xCF)) + Kiss(BadPosition(0x00, 0xF0)) + Kiss(kUi) +
                        Kiss(BadPosition(0x03, 0xF0)),
                    {{2 * kBadPositionSize + kUiSize, "sender: aprs"}}}),
    [](const ::testing::TestParamInfo<FindingCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(HealthCheckTest, FindingLinesSayWhatAndWhere) {
  const Report r = Check("AB" + Kiss(kUi) + Kiss(SabmWithSource("qq0qq")) +
                         Kiss(std::string("\x00"
                                          "ABC",
                                          4)) +
                         Kiss(BinaryStamp(kStampMillis)) + Kiss(BinaryStamp(915148800000)));
  const std::string n = Name();
  const std::vector<std::string> expected = {
      n + ": offset 0: damage: skipped: 2 bytes before the first FEND",
      n + ": offset 2: damage: recovered: frame 1 recovered behind a shared FEND or garbage",
      n + ": offset " + std::to_string(2 + kUiSize) +
          ": sender: callsign: frame 2: source callsign \"qq0qq\" (E2 E2 60 E2 E2 40) has "
          "characters outside A-Z, 0-9 and blank",
      n + ": offset " + std::to_string(2 + kUiSize + 18) +
          ": sender: too-short: frame 3 is too short for an AX.25 header: 3 bytes after the type "
          "byte, 15 needed",
      n + ": offset " + std::to_string(2 + kUiSize + 24 + kStampSize) +
          ": damage: time-before-2000: frame 5: timestamp 1999-01-01 00:00:00.000 is before 2000",
      n + ": offset " + std::to_string(2 + kUiSize + 24 + kStampSize) +
          ": damage: time-backwards: frame 5: timestamp 1999-01-01 00:00:00.000 is earlier than "
          "the one before it, 2016-01-01 12:34:56.789",
      n + ": 5 frames, damage 4 (skipped 1, recovered 1, time-backwards 1, time-before-2000 1), "
          "sender 2 (too-short 1, callsign 1)",
  };
  EXPECT_EQ(r.lines, expected);
}

// A reader's damage in its own terms, where it stands in the decoded stream; the frames around it
// are read and the capture counts as damaged (TNC2 lines: a line that is no frame).
TEST_F(HealthCheckTest, AReadersDamageIsReportedInItsOwnTerms) {
  const std::string path = PathOf("c.tnc2.txt");
  testing::WriteFile(path,
                     "2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*:hello\nnot a frame\nQQ1>CQ:x\n");
  const Report r = CheckPath(path);
  const std::size_t first = kStampSize + kUiSize;
  EXPECT_EQ(r.lines,
            (std::vector<std::string>{
                path + ": offset " + std::to_string(first) +
                    ": damage: tnc2-line: line 2 is no TNC2 frame: no \":\" in front of the "
                    "information field",
                path + ": 3 frames, damage 1 (tnc2-line 1), no sender findings"}));
  EXPECT_EQ(r.status, kCheckFindings);
}

TEST_F(HealthCheckTest, AprsFindingsSayWhatIsWrong) {
  const std::string position = Kiss(Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "!4903.50N"));
  const Report r =
      Check(Kiss(BinaryStamp(kStampMillis)) + position +
            Kiss(Ax25Frame({"APRS"}, {"QQ1QQ", 9}, {}, 0x03, 0xF0,
                           "}QQ2QQ>APRS,TCPIP,QQ1QQ-9*:@322345z4903.50N/07201.75W>")) +
            Kiss(Ax25Frame({"APRS"}, {"QQ1QQ", 9}, {}, 0x03, 0xF0, "}QQ2QQ>APRS:>fine")));
  const std::string n = Name();
  const std::vector<std::string> expected = {
      n + ": offset " + std::to_string(kStampSize) +
          ": sender: aprs: frame 2: position cut short: 8 of the 19 bytes it needs",
      n + ": offset " + std::to_string(kStampSize + position.size()) +
          ": sender: aprs: frame 3: in its third-party packet: \"322345z\" is not a timestamp "
          "(day, hour, minute and z or /, or hour, minute, second and h)",
      n + ": 4 frames, no damage, sender 2 (aprs 2)",
  };
  EXPECT_EQ(r.lines, expected);
  EXPECT_EQ(r.status, kCheckClean);
}

TEST_F(HealthCheckTest, AnUnreadableCapture) {
  const Report r = CheckPath(PathOf("missing.kss"));
  EXPECT_EQ(r.status, kCheckUnreadable);
  EXPECT_TRUE(r.lines.empty());
  ASSERT_EQ(window_.Errors().size(), 1U);
  EXPECT_NE(window_.Errors()[0].find("No such file"), std::string::npos) << window_.Errors()[0];
}

TEST_F(HealthCheckTest, ACaptureReadOnlyPartlyKeepsItsFindingsButHasNoSummary) {
  std::string bytes = Kiss(std::string("\x00"
                                       "ABC",
                                       4)) +
                      "\xC0";
  bytes.append(static_cast<std::size_t>(kMaxFrameLength) + 1, 'A');
  bytes += "\xC0";
  const Report r = Check(bytes);
  EXPECT_EQ(r.status, kCheckUnreadable);
  EXPECT_EQ(r.findings, (Findings{{0, "sender: too-short"}}));
  EXPECT_EQ(r.summary, "");
  EXPECT_EQ(window_.Errors().size(), 1U);
}

TEST(CheckStatusTest, TheWorstWins) {
  EXPECT_EQ(WorseCheckStatus(kCheckClean, kCheckClean), kCheckClean);
  EXPECT_EQ(WorseCheckStatus(kCheckClean, kCheckFindings), kCheckFindings);
  EXPECT_EQ(WorseCheckStatus(kCheckFindings, kCheckClean), kCheckFindings);
  EXPECT_EQ(WorseCheckStatus(kCheckFindings, kCheckUnreadable), kCheckUnreadable);
  EXPECT_EQ(WorseCheckStatus(kCheckUnreadable, kCheckFindings), kCheckUnreadable);
  EXPECT_EQ(WorseCheckStatus(kCheckUnreadable, kCheckClean), kCheckUnreadable);
}

}  // namespace
}  // namespace packscope
