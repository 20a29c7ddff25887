// The filter language: every operator and field on hand-made frames, precedence, the errors with
// their columns, evaluation without allocation, and the filter in the frame loop.
#include "filter/filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "capture/headless_window.h"
#include "filter/capture_filter.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

// Every allocation of this program is counted, for EvaluatesWithoutAllocating. The replacement
// delete frees what the replacement new took from malloc, which GCC cannot see once it inlines
// them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

// 2016-01-01 12:34:56.789 UTC
constexpr std::int64_t kMillis = 1451651696789;

struct Frame {
  std::string bytes;
  std::optional<std::int64_t> time = kMillis;
  FrameInfo info = {};
  std::int64_t number = 5;
  std::int64_t offset = 100;
};

// UI frame of QQ0QQ-7 to APRS via QQ0DIG-1 (repeated) and WIDE2-1, 6 bytes of information.
const Frame kUi{Ax25Frame({"APRS", 0, true}, {"QQ0QQ", 7},
                          {{"QQ0DIG", 1, true}, {"WIDE2", 1, false}}, 0x03, 0xF0, ">hello")};

void Begin(FrameFacts& facts, const Frame& f) {
  facts.Begin({reinterpret_cast<const std::uint8_t*>(f.bytes.data()), f.bytes.size()}, f.number,
              f.offset, f.time, f.info);
}

// The filter's answer for the frame; a parse error fails the test. The frame is described as
// the filter asks, and once more described whole beforehand: the answer must not change.
bool Matches(std::string_view expression, const Frame& frame) {
  FilterError error;
  const std::optional<Filter> filter = Filter::Parse(expression, &error);
  EXPECT_TRUE(filter.has_value()) << expression << ": " << error.Text();
  if (!filter) return false;
  FrameAprs lazy_aprs;
  FrameFacts lazy;
  lazy.aprs_reading = &lazy_aprs;
  Begin(lazy, frame);
  FrameAprs whole_aprs;
  FrameFacts whole;
  whole.aprs_reading = &whole_aprs;
  Begin(whole, frame);
  DescribeFrame(whole, kNeedAx25 | kNeedFindings | kNeedAprs);
  const bool answer = filter->Matches(lazy);
  EXPECT_EQ(filter->Matches(whole), answer) << expression;
  return answer;
}

struct Case {
  std::string_view expression;
  bool expected;
};

void ExpectAll(const Frame& frame, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Matches(c.expression, frame), c.expected) << c.expression;
}

TEST(FilterTest, EveryFieldAndOperatorOnAUiFrame) {
  ExpectAll(kUi, {
                     {"frame == 5", true},
                     {"frame != 5", false},
                     {"frame in {1, 0x5}", true},
                     {"offset > 99", true},
                     {"offset > 100", false},
                     {"offset >= 100", true},
                     {"offset < 100", false},
                     {"offset <= 100", true},
                     {"port == 0", true},
                     {"len == 36", true},  // 4 addresses, control, PID, 6 bytes
                     {"len >= 0", true},
                     {"src == QQ0QQ-7", true},
                     {"src == qq0qq-7", true},
                     {"src == QQ0QQ", false},
                     {"src == QQ0QQ-*", true},
                     {"src == QQ0Q-*", false},
                     {"src != QQ0QQ-7", false},
                     {"src == QQ0*", true},  // a prefix: any callsign that begins so
                     {"src == qq0*", true},
                     {"src != QQ*", false},
                     {"dst in {APZ*, AP*}", true},
                     {"dst == APZ*", false},
                     {"via == WIDE*", true},
                     {"src ~ \"^QQ0QQ(-|$)\"", true},
                     {"src ~ \"^QQ0QQ$\"", false},
                     {"dst == APRS", true},
                     {"dst == \"APRS\"", true},
                     {"via == WIDE2-1", true},
                     {"via == QQ0DIG-1", true},
                     {"via != WIDE2-1", false},
                     {"via == RELAY", false},
                     {"via", true},
                     {"repeated == QQ0DIG-1", true},
                     {"repeated == WIDE2-1", false},
                     {"repeated", true},
                     {"call == APRS", true},
                     {"call == WIDE2-*", true},
                     {"call in {QQ9QQ, QQ0QQ-*}", true},
                     {"call ~ \"DIG\"", true},
                     {"type == UI", true},
                     {"type == ui", true},
                     {"type == 0", true},  // the U frame code of UI
                     {"type != UI", false},
                     {"type in {I, RR}", false},
                     {"type ~ \"^U\"", true},
                     {"pid == 0xF0", true},
                     {"pid == 240", true},
                     {"pid < 0xF0", false},
                     {"info == \">hello\"", true},
                     {"info == \">hell\"", false},
                     {"info ~ \"hel+o\"", true},
                     {"info ~ \"^hello\"", false},
                     {"info", true},
                     {"time == 2016-01-01T12:34:56.789", true},
                     {"time == 2016-01-01T12:34:56.789Z", true},
                     {"time == \"2016-01-01 12:34:56.789\"", true},
                     {"time >= 2016-01-01T12:34", true},
                     {"time > 2016-01-01T12:34:56.7", true},
                     {"time < 2016-01-01T12:34:56.79", true},
                     {"time < 2016-01-01", false},
                     {"time", true},
                     {"problem", false},
                     {"problem == callsign", false},
                     {"problem != callsign", false},  // no finding: no problem field to differ
                 });
}

TEST(FilterTest, AFrameThatLacksAFieldFailsEveryTestOnIt) {
  Frame short_frame{std::string("\x00\x82\xA0", 3), std::nullopt};
  ExpectAll(short_frame, {
                             {"src == QQ0QQ", false},
                             {"src != QQ0QQ", false},
                             {"not src == QQ0QQ", true},
                             {"src ~ \"\"", false},
                             {"via", false},
                             {"via != QQ0QQ", false},
                             {"type in {UI, I}", false},
                             {"type != UI", false},
                             {"pid != 1", false},
                             {"info", false},
                             {"time != 2016-01-01", false},
                             {"time < 2100-01-01", false},
                             {"len == 2", true},
                             {"port == 0", true},
                             {"problem", true},
                             {"problem == too-short", true},
                             {"problem == TOO-SHORT", true},
                             {"problem in {callsign, cut-off}", false},
                             {"damage", false},  // nothing wrong with the recording
                             {"damage == cut-off", false},
                         });
  // An S frame has no PID and no information field; a frame without digipeaters no via.
  const Frame rr{Ax25Frame({"QQ0QQ", 1}, {"QQ1QQ", 0, true}, {}, 0x71, std::nullopt, "")};
  ExpectAll(rr, {{"pid == 0", false},
                 {"pid != 0", false},
                 {"info", false},
                 {"info == \"\"", true},
                 {"via", false},
                 {"via != QQ0QQ", false},
                 {"not via == QQ0QQ", true},
                 {"repeated", false},
                 {"repeated != QQ0QQ", false},
                 {"type == RR", true},
                 {"type == 0", false}});
  // An empty frame has length 0 and no port; like a KISS command frame it is legal KISS.
  ExpectAll(Frame{""}, {{"len == 0", true}, {"port == 0", false}, {"problem", false}});
  ExpectAll(Frame{std::string("\x01\x05", 2)},
            {{"port == 0", true}, {"src", false}, {"problem", false}});
  ExpectAll(Frame{"\x07x"}, {{"problem == frame-type", true}, {"damage == frame-type", true}});
}

// heard_by and heard_count: the receivers of a packet in a merge; a frame read from one capture
// has neither.
TEST(FilterTest, ReceiversOfAMergedPacket) {
  const std::vector<std::string> names = {"dir/north.kss", "south.kss", "west.kss"};
  const std::vector<Reception> heard = {{0, 0}, {2, 500}};
  const FrameReceivers receivers{names, heard};
  const auto matches = [&](std::string_view expression, const FrameReceivers* r) {
    const std::optional<Filter> filter = Filter::Parse(expression);
    EXPECT_TRUE(filter.has_value()) << expression;
    FrameFacts facts;
    Begin(facts, kUi);
    facts.receivers = r;
    return filter && filter->Matches(facts);
  };
  const std::vector<std::pair<std::string_view, bool>> merged = {
      {"heard_by == dir/north.kss", true},
      {"heard_by == west.kss", true},
      {"heard_by == south.kss", false},
      {"heard_by != south.kss", true},
      {"heard_by ~ \"^w\"", true},
      {"heard_by in {south.kss, west.kss}", true},
      {"heard_by", true},
      {"heard_count == 2", true},
      {"heard_count == 1", false},
      {"heard_count > 1 and heard_by == west.kss", true},
  };
  for (const auto& [expression, expected] : merged) {
    EXPECT_EQ(matches(expression, &receivers), expected) << expression;
  }
  for (const std::string_view expression :
       {"heard_by", "heard_by != x.kss", "heard_count == 0", "heard_count < 1"}) {
    EXPECT_FALSE(matches(expression, nullptr)) << expression;
  }
}

TEST(FilterTest, FrameTypesPortsAndCodes) {
  const Frame sabm{Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 0}, {}, 0x3F, std::nullopt, "", 0x10)};
  ExpectAll(sabm, {{"type == SABM", true},
                   {"type == 7", true},
                   {"port == 1", true},
                   {"pid", false},
                   {"src == QQ0QQ", true},
                   {"src == QQ0QQ-0", true}});
  const Frame i_frame{Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0xB4, 0xCF, "net")};
  ExpectAll(i_frame, {{"type == I", true}, {"type ~ \"^I$\"", true}, {"pid == 0xCF", true}});
  // Control 0x07: a U frame of code 1, which has no name.
  const Frame unnamed{Ax25Frame({"QQ1QQ"}, {"QQ0QQ"}, {}, 0x07, std::nullopt, "")};
  ExpectAll(unnamed, {{"type == 1", true}, {"type", true}, {"type ~ \".\"", false}});
}

// problem: damage and departures from AX.25; damage: the recording's part alone.
TEST(FilterTest, ProblemNamesEachFindingOfTheFrame) {
  Frame bad{Ax25Frame({"aprs"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "x")};
  bad.info.recovered = true;
  bad.info.bad_escapes = 2;
  ExpectAll(bad, {{"problem == recovered", true},
                  {"problem == bad-escape", true},
                  {"problem == callsign", true},
                  {"problem == cut-off", false},
                  {"problem ~ \"^re\"", true},
                  {"damage == recovered", true},
                  {"dst == APRS", true},  // the frame is AX.25 all the same
                  {"problem and src == QQ0QQ", true}});
  ExpectAll(Frame{Ax25Frame({"aprs"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "x")},
            {{"problem == callsign", true}, {"damage", false}});
}

// The aprs.* fields: present where the APRS field gives them, absent (failing every test) on
// frames that are no APRS frames and where the field lacks them.
TEST(FilterTest, AprsFields) {
  const auto aprs = [](const std::string& info) {
    return Frame{Ax25Frame({"APRS"}, {"QQ0QQ", 7}, {}, 0x03, 0xF0, info)};
  };
  ExpectAll(aprs("=4903.50N/07201.75W>088/036/A=001234 on the road"),
            {{"aprs.type == position", true},
             {"aprs.type == POSITION", true},
             {"aprs.type in {object, mic-e}", false},
             {"aprs.type ~ \"^pos\"", true},
             {"aprs.lat > 49.05 and aprs.lat < 49.06", true},
             {"aprs.lon < -72 and aprs.lon > -72.03", true},
             {"aprs.lat", true},
             {"aprs.symbol == \"/>\"", true},
             {"aprs.course == 88", true},
             {"aprs.speed_kmh > 66.6 and aprs.speed_kmh < 66.7", true},
             {"aprs.altitude_m > 376", true},
             {"aprs.comment ~ \"road$\"", true},
             {"aprs.addressee", false},
             {"aprs.addressee != QQ0QQ", false},
             {"not aprs.addressee", true},
             {"aprs.alive", false},
             {"aprs.error", false},
             {"problem", false}});
  ExpectAll(aprs(";LEADER   _092345z4903.50N/07201.75W>"), {{"aprs.type == object", true},
                                                            {"aprs.name == LEADER", true},
                                                            {"aprs.alive == false", true},
                                                            {"aprs.alive == TRUE", false},
                                                            {"aprs.alive", true},
                                                            {"aprs.timestamp == 092345z", true}});
  ExpectAll(aprs(":QQ1QQ-9  :Hello there{42"), {{"aprs.type == message", true},
                                                {"aprs.addressee == QQ1QQ-9", true},
                                                {"aprs.text == \"Hello there\"", true},
                                                {"aprs.id == 42", true},
                                                {"aprs.lat", false}});
  ExpectAll(aprs("!9103.50N/07201.75W>"), {{"aprs.type == position", true},
                                           {"aprs.lat", false},
                                           {"aprs.lon < 0", true},
                                           {"aprs.error ~ \"over 90\"", true},
                                           {"problem", false}});
  // aprs.error says what is wrong with the packet a third-party packet carries, as --check.
  ExpectAll(aprs("}QQ2QQ>APRS,TCPIP*:!9103.50N/07201.75W>"),
            {{"aprs.type == third-party", true}, {"aprs.error ~ \"over 90\"", true}});
  ExpectAll(kUi, {{"aprs.type == status", true}, {"aprs.status == hello", true}});
  // A value that is no finite number is the field's error, and no value a test could match.
  ExpectAll(aprs("T#001,nan,1"), {{"aprs.analog.1 > 0", false},
                                  {"aprs.analog.1 != 0", false},
                                  {"aprs.analog.2", false},
                                  {"aprs.error ~ \"not a finite number\"", true}});
  // The same field in an I frame, or under another PID, is no APRS field.
  for (const Frame& other : {Frame{Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x00, 0xF0, "!9103.50N")},
                             Frame{Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x03, 0xCF, "!9103.50N")}}) {
    ExpectAll(other, {{"aprs.type", false},
                      {"not aprs.type", true},
                      {"aprs.type != position", false},
                      {"problem", false}});
  }
}

TEST(FilterTest, NotBindsTighterThanAndTighterThanOr) {
  ExpectAll(kUi, {
                     // frame == 5 is true, port == 1 and frame == 1 are false.
                     {"frame == 5 or frame == 1 and port == 1", true},
                     {"(frame == 5 or frame == 1) and port == 1", false},
                     {"not frame == 5 or port == 0", true},
                     {"not (frame == 5 or port == 0)", false},
                     {"not not frame == 5", true},
                     {"frame == 1 or frame == 2 or frame == 5", true},
                     {"frame == 5 and port == 0 and len > 3 and not port == 1", true},
                     {"((frame == 5))", true},
                     {"frame==5 and(port==0)", true},
                 });
}

TEST(FilterTest, RegularExpressionsRunInLinearTimeOverBytes) {
  // A pattern that makes a backtracking engine take exponential time on a long run of "a".
  const Frame long_info{Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x03, 0xF0, std::string(60000, 'a'))};
  EXPECT_FALSE(Matches("info ~ \"(a*)*b\"", long_info));
  EXPECT_TRUE(Matches("info ~ \"(a|aa)+$\"", long_info));
  // Each byte is one character: byte FC is one ".", and a quoted \" is a quote.
  const Frame bytes{Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x03, 0xF0,
                              "Gr\xFC\xDF"
                              "e \"hi\"")};
  EXPECT_TRUE(Matches("info ~ \"^Gr..e\"", bytes));
  EXPECT_TRUE(Matches("info ~ \"\\\"hi\\\"$\"", bytes));
  EXPECT_TRUE(Matches("info ~ \"\\x{FC}\"", bytes));
  // Patterns of plain characters are searched for without the engine: the same answers.
  for (const std::string pattern :
       {"hell", "^>he", "lo$", "^>hello$", "^hello", "^", "$", "", "x"}) {
    EXPECT_EQ(Matches("info ~ \"" + pattern + "\"", kUi),
              Matches("info ~ \"(?:" + pattern + ")\"", kUi))
        << pattern;
  }
}

struct ErrorCase {
  std::string expression;
  int column;
  std::string_view message;  // the start of the message
};

TEST(FilterTest, AWrongExpressionNamesTheColumnAndWhatWasExpected) {
  const std::vector<ErrorCase> cases = {
      {"", 1, "the expression is empty"},
      {"src == ", 8, "expected a value after \"==\", found the end"},
      {"time >= and", 9, "expected a value after \">=\", found \"and\""},
      {"aprs.names.1 == x", 1,
       "unknown field \"aprs.names.1\"; the fields are frame, offset, port, len,"},
      {"src = QQ0QQ", 5, "\"=\" is not an operator; write \"==\""},
      {"src ! QQ0QQ", 5, "\"!\" is not an operator"},
      {"src == A && port == 1", 10, "\"&\" is not an operator; write \"and\""},
      {"len > abc", 7, "expected a whole number from 0 to 65535 after \">\", found \"abc\""},
      {"len > 0x", 7, "expected a whole number"},
      // Values outside a field's range, which would match nothing (or everything).
      {"port == 1.5", 9, "expected a whole number from 0 to 15 after \"==\", found \"1.5\""},
      {"port in {0, 16}", 13, "expected a whole number from 0 to 15 in the set of column 6"},
      {"pid == 99999999999", 8, "expected a whole number from 0 to 255 after \"==\""},
      {"len > -1", 7, "expected a whole number from 0 to 65535"},
      {"frame < 18446744073709551616", 9, "expected a whole number from 0 to 9007199254740992"},
      {"offset < 0x10000000000000000", 10, "expected a whole number from 0 to 9007199254740992"},
      {"type == 99999", 9, "expected one of UI, I, RR"},
      {"type == 1.5", 9, "expected one of UI, I, RR"},
      {"aprs.lat > 1" + std::string(400, '0'), 12, "expected a number after \">\""},
      {"src == *", 8, "expected a callsign"},
      {"src == QQ0QQQQ*", 8, "expected a callsign"},
      {"src == QQ0QQ-1*", 8, "expected a callsign"},
      {"src < QQ0QQ", 5, "\"<\" compares numbers and times; src is a callsign"},
      {"len ~ \"1\"", 5, "\"~\" matches texts, callsigns and names; len is a number"},
      {"(src == A", 10, "expected \")\" to close the \"(\" of column 1, found the end"},
      {"src == A)", 9, "this \")\" closes no \"(\""},
      {"src == QQ0QQ-16", 8, "expected a callsign after \"==\" (CALL, CALL-SSID"},
      {"src == TOOLONG7", 8, "expected a callsign"},
      {"type == FOO", 9,
       "expected one of UI, I, RR, RNR, REJ, SREJ, SABM, SABME, DISC, DM, UA, "
       "FRMR, XID, TEST or a U frame's code, 0 to 31 after \"==\", found \"FOO\""},
      {"problem == skipped", 12, "expected one of recovered, bad-escape,"},
      {"problem == 3", 12, "expected one of recovered"},
      {"problem == aprs", 12, "expected one of recovered,"},
      {"damage == callsign", 11,
       "expected one of recovered, bad-escape, cut-off, frame-type after"},
      {"time > 2016-02-30", 8, "expected a time after \">\" (UTC: YYYY-MM-DD"},
      {"time > 2016-01-01T25:00", 8, "expected a time"},
      {"info ~ \"(\"", 8, "bad regular expression after \"~\": missing )"},
      {"src QQ0QQ", 5, "expected an operator (==, !=, <, <=, >, >=, ~, in) after \"src\""},
      {"src == QQ0QQ port == 1", 14, "expected \"and\", \"or\" or the end, found \"port\""},
      {"type in {UI, }", 14, "expected a value in the set of column 6, found \"}\""},
      {"type in {UI UA}", 13, "expected \",\" or \"}\" in the set of column 6, found \"UA\""},
      {"type in UI", 9, "expected \"{\" after \"in\", found \"UI\""},
      {"info == \"abc", 9, "the quoted text that begins here has no end quote"},
      {"src == dst", 8, "expected a value after \"==\", found the field \"dst\""},
      {"and", 1, "expected a field, \"not\" or \"(\", found \"and\""},
      {"src == A or", 12, "expected a field, \"not\" or \"(\", found the end"},
      {"not", 4, "expected a field"},
      {"aprs.type == car", 14, "expected one of position, mic-e, object, item, message,"},
      {"aprs.alive == yes", 15, "expected one of true, false after \"==\""},
      {"aprs.symbol > 1", 13, "\">\" compares numbers and times; aprs.symbol is a text"},
      {"aprs.lat == north", 13, "expected a number after \"==\""},
      // Columns count characters, not bytes: "ü" is two bytes.
      {"info == \"\xC3\xBC\" or", 15, "expected a field"},
  };
  for (const ErrorCase& c : cases) {
    FilterError error;
    EXPECT_FALSE(Filter::Parse(c.expression, &error).has_value()) << c.expression;
    EXPECT_EQ(error.column, c.column) << c.expression << ": " << error.message;
    EXPECT_EQ(error.message.substr(0, c.message.size()), c.message) << c.expression;
  }
  FilterError error;
  Filter::Parse("src == QQ0QQ and type ==", &error);
  EXPECT_EQ(error.Text(), "filter: column 25: expected a value after \"==\", found the end");
  // Nesting is bounded, so that no expression can exhaust the stack.
  EXPECT_FALSE(Filter::Parse(std::string(100, '(') + "src" + std::string(100, ')'), &error));
  EXPECT_EQ(error.column, 101);
  EXPECT_TRUE(Filter::Parse(std::string(99, '(') + "src" + std::string(99, ')')));
}

TEST(FilterTest, EvaluatesWithoutAllocating) {
  const std::optional<Filter> filter = Filter::Parse(
      "(src == QQ0QQ-* or call in {QQ0DIG-1, WIDE2-*}) and type in {UI, I} and "
      "info ~ \"^>h\" and not problem and time >= 2016-01-01 and repeated and "
      "aprs.status ~ \"^hel\"");
  ASSERT_TRUE(filter);
  FrameAprs aprs;
  FrameFacts facts;
  facts.aprs_reading = &aprs;
  Begin(facts, kUi);
  ASSERT_TRUE(filter->Matches(facts));  // the first run may set up the regex's cache
  const long before = g_allocations;
  bool all = true;
  for (int i = 0; i < 1000; ++i) {
    aprs.NextFrame();
    Begin(facts, kUi);
    all = filter->Matches(facts) && all;
  }
  EXPECT_TRUE(all);
  EXPECT_EQ(g_allocations - before, 0);
}

// The filter in the frame loop: frames it turns down reach neither the observer nor the output,
// every stamp does, and a kept frame carries its own stamp.
class CaptureFilterTest : public testing::TempDirTest {};

TEST_F(CaptureFilterTest, KeptFramesKeepTheirStampsPassAfterPass) {
  using testing::BinaryStamp;
  using testing::Kiss;
  using testing::TextStamp;
  const std::string a = Ax25Frame({"APRS"}, {"QQ1QQ"}, {}, 0x03, 0xF0, "a");
  const std::string b = Ax25Frame({"APRS"}, {"QQ2QQ"}, {}, 0x03, 0xF0, "b");
  const std::string path =
      WriteCapture("c.kss", Kiss(a) + Kiss(BinaryStamp(kMillis)) + Kiss(b) + Kiss(a) +
                                Kiss(TextStamp("2016-01-01 12:40:00.000 UTC")) + Kiss(b) + Kiss(a));
  const std::optional<Filter> filter =
      Filter::Parse("src == QQ1QQ and (time >= 2016-01-01T12:35 or not time)");
  ASSERT_TRUE(filter);
  CaptureFilter predicate(*filter);
  for (int pass = 0; pass < 2; ++pass) {
    DecoderState state;
    state.CaptureFileName = path;
    state.OutputMode = kNoWindowOutput;
    state.FrameFilter = &predicate;
    testing::FrameRecorder recorder;
    state.Observer = &recorder;
    HeadlessWindow window;
    ReadCapture(state, window);
    EXPECT_EQ(state.FrameCount, 7);
    EXPECT_EQ(window.Label1(), CountsCaption(7, state.ByteCount));
    std::vector<std::pair<std::int64_t, std::string>> seen;  // offset, stamp text
    for (const testing::RecordedFrame& f : recorder.frames) {
      seen.emplace_back(f.offset, f.stamp_text);
    }
    const std::int64_t k = static_cast<std::int64_t>(Kiss(a).size());
    const std::int64_t s = static_cast<std::int64_t>(Kiss(BinaryStamp(kMillis)).size());
    const std::int64_t t =
        static_cast<std::int64_t>(Kiss(TextStamp("2016-01-01 12:40:00.000 UTC")).size());
    const std::vector<std::pair<std::int64_t, std::string>> expected = {
        {0, ""},                                         // a, before any stamp
        {k, "1 Jan 2016 12:34:56.789 UTC"},              // the binary stamp
        {k + s + k + k, "2016-01-01 12:40:00.000 UTC"},  // the text stamp
        {k + s + k + k + t + k, "2016-01-01 12:40:00.000 UTC"},
    };
    EXPECT_EQ(seen, expected) << "pass " << pass;
  }
}

}  // namespace
}  // namespace packscope
