// packscope-convert run as a user runs it: the pcap, jsonl and monitor layouts and --check, their
// options, output names and exit statuses; Wireshark's tshark reads the pcap when installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;
using testing::Address;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::Lines;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

bool HasTshark() { return std::system("command -v tshark > /dev/null 2>&1") == 0; }

const std::string kUi = Ax25Frame({"CQ", 0, true}, {"QQ0QQ", 1}, {{"RELAY", 0, true}, {"WIDE2", 1}},
                                  0x03, 0xF0, "hello");
const std::string kI = Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0xB4, 0xF0, "data");
const std::string kRr = Ax25Frame({"QQ0QQ", 1}, {"QQ1QQ", 0, true}, {}, 0x71, std::nullopt, "");
const std::string kSabm = Ax25Frame({"QQ1QQ", 0, true}, {"QQ0QQ", 1}, {}, 0x3F, std::nullopt, "");

class ConvertLayoutsCliTest : public testing::TempDirTest {
 protected:
  // Runs packscope-convert with arguments (already quoted for the shell, if need be) in the C
  // locale, so that dates read the same on every machine.
  Result Convert(const std::string& arguments) {
    const std::string out = PathOf("stdout");
    const std::string err = PathOf("stderr");
    const std::string command = "LC_ALL=C LANG=C " + std::string(PACKSCOPE_CONVERT) + " " +
                                arguments + " > " + out + " 2> " + err;
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = testing::ReadFile(out);
    r.err = testing::ReadFile(err);
    return r;
  }
  std::string Capture(const std::string& name) {
    return WriteCapture(
        name, Kiss(BinaryStamp(1451651696789)) + Kiss(kUi) + Kiss(kI) + Kiss(kRr) + Kiss(kSabm));
  }
};

TEST_F(ConvertLayoutsCliTest, HelpNamesTheNewLayoutsAndCheck) {
  const Result r = Convert("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"pcap", "jsonl", "monitor", "kiss", "stats", "--check",
                           "3 --check found", "--filter EXPR", "RE2", "problem"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

TEST_F(ConvertLayoutsCliTest, JsonlToStandardOutput) {
  const Result r = Convert("-l jsonl -o - " + Capture("a.kss"));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4U);
  std::vector<std::string> kinds;
  for (const std::string& line : lines) {
    const json j = json::parse(line);  // throws, failing the test, when a line is not JSON
    kinds.push_back(j["kind"].get<std::string>() + ":" +
                    (j["name"].is_null() ? "" : j["name"].get<std::string>()));
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"U:UI", "I:", "S:RR", "U:SABM"}));
  EXPECT_NE(r.err.find("standard output has been written"), std::string::npos) << r.err;
}

TEST_F(ConvertLayoutsCliTest, OutputNamesNextToEachCapture) {
  const std::string a = Capture("a.kss");
  const std::string b = Capture("b.kss");
  for (const char* layout : {"pcap", "jsonl", "monitor"}) {
    const Result r = Convert(std::string("--layout ") + layout + " " + a + " " + b);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  for (const char* name :
       {"a.pcap", "a.jsonl", "a.monitor.txt", "b.pcap", "b.jsonl", "b.monitor.txt"}) {
    EXPECT_TRUE(testing::FileExists(PathOf(name))) << name;
  }
  EXPECT_EQ(Lines(testing::ReadFile(PathOf("b.monitor.txt"))),
            (std::vector<std::string>{
                "2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*,WIDE2-1: UI pid=F0 \"hello\"",
                "2016-01-01 12:34:56.789 QQ0QQ-1>QQ1QQ: I ns=2 nr=5 P pid=F0 \"data\"",
                "2016-01-01 12:34:56.789 QQ1QQ>QQ0QQ-1: RR nr=3 F",
                "2016-01-01 12:34:56.789 QQ0QQ-1>QQ1QQ: SABM P",
            }));
}

TEST_F(ConvertLayoutsCliTest, AFailingCaptureFailsTheRunAndTheOthersAreWritten) {
  const std::string a = Capture("a.kss");
  const Result r = Convert("-l jsonl " + PathOf("missing.kss") + " " + a);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.kss"), std::string::npos) << r.err;
  EXPECT_FALSE(testing::FileExists(PathOf("missing.jsonl")));
  EXPECT_TRUE(testing::FileExists(PathOf("a.jsonl")));
}

TEST_F(ConvertLayoutsCliTest, StampLogWithTheNewLayoutsAndCheck) {
  const std::string line = "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n";
  const std::string a = Capture("a.kss");
  const std::string b = Capture("b.kss");
  Result r = Convert("-l pcap --stamp-log " + PathOf("stamps.txt") + " " + a + " " + b);
  EXPECT_EQ(r.status, 0) << r.err;
  // One line per binary stamp of every capture, in the order met; dates in the C locale.
  EXPECT_EQ(testing::ReadFile(PathOf("stamps.txt")), line + line);

  r = Convert("--check --stamp-log " + PathOf("check-stamps.txt") + " " + a);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing::ReadFile(PathOf("check-stamps.txt")), line);

  // A log that cannot be written fails the run; the conversion itself is done.
  r = Convert("-l jsonl --stamp-log " + PathOf("no/such/folder/log.txt") + " " + a);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("log.txt"), std::string::npos) << r.err;
  EXPECT_TRUE(testing::FileExists(PathOf("a.jsonl")));
}

TEST_F(ConvertLayoutsCliTest, TsharkDecodesThePcap) {
  if (!HasTshark()) GTEST_SKIP() << "tshark is not installed";
  const std::string capture = Capture("a.kss");
  ASSERT_EQ(Convert("-l pcap " + capture).status, 0);
  const std::string pcap = PathOf("a.pcap");
  const std::string text = PathOf("tshark.txt");
  ASSERT_EQ(std::system(("tshark -r " + pcap + " -V > " + text + " 2> /dev/null").c_str()), 0);
  const std::string decoded = testing::ReadFile(text);
  for (const char* expected :
       {"Encapsulation type: AX.25 with KISS header", "Source: QQ0QQ-1", "Destination: CQ",
        "Via 1: RELAY", "Via 2: WIDE2-1", "Destination: QQ1QQ", "func=SABM", "func=RR",
        "Arrival Time: Jan  1, 2016 12:34:56.789000000 UTC", "Frame 4:"}) {
    EXPECT_NE(decoded.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(decoded.find("Frame 5:"), std::string::npos);
  EXPECT_EQ(decoded.find("Malformed"), std::string::npos);
}

// tshark reads NET/ROM out of the pcap as jsonl's "netrom" does: the NODES broadcasts' aliases,
// the network and transport headers of node-to-node frames. (tshark reads the PID of modulo-8
// frames only: those are compared.)
TEST_F(ConvertLayoutsCliTest, TsharkReadsNetRomAsJsonlDoes) {
  if (!HasTshark()) GTEST_SKIP() << "tshark is not installed";
  gen::Options options;
  options.seed = 4;
  options.sessions = true;
  options.frames = 6000;
  options.mod128 = 0;
  const std::string capture = WriteCapture("n.kss", gen::GenerateCaptureBytes(options));
  ASSERT_EQ(Convert("-l pcap " + capture).status, 0);
  const Result jsonl = Convert("-l jsonl -o - " + capture);
  ASSERT_EQ(jsonl.status, 0);
  std::vector<json> frames;
  std::size_t netrom = 0;
  for (const std::string& line : Lines(jsonl.out)) {
    frames.push_back(json::parse(line));
    netrom += frames.back()["netrom"].is_null() ? 0 : 1;
  }
  const std::string text = PathOf("tshark.txt");
  ASSERT_EQ(std::system(("tshark -r " + PathOf("n.pcap") +
                         " -Y netrom -T fields -e frame.number -e netrom.name -e netrom.src "
                         "-e netrom.dst -e netrom.ttl -e netrom.op -e netrom.n_s -e netrom.n_r "
                         "-e netrom.your.cct.index -e netrom.your.cct.id > " +
                         text + " 2> /dev/null")
                            .c_str()),
            0);
  // "a2:a2:72:9c:9e:88:68" -> "QQ9NOD-4"
  const auto call = [](const std::string& bytes) {
    std::string out;
    int ssid = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 3) {
      const int b = std::stoi(bytes.substr(i, 2), nullptr, 16);
      if (i < 18 && (b >> 1) != ' ') out.push_back(static_cast<char>(b >> 1));
      if (i == 18) ssid = (b >> 1) & 0x0F;
    }
    return ssid == 0 ? out : out + "-" + std::to_string(ssid);
  };
  std::size_t nodes = 0;
  std::size_t transport = 0;
  for (const std::string& line : Lines(testing::ReadFile(text))) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(10);
    const json& j = frames.at(static_cast<std::size_t>(std::stoi(f[0]) - 1));
    SCOPED_TRACE(line + "\n" + j.dump());
    ASSERT_TRUE(j["netrom"].is_object());
    const json& n = j["netrom"];
    if (!f[1].empty()) {
      ++nodes;
      EXPECT_EQ(n["type"], "nodes");
      std::string alias = f[1];
      while (!alias.empty() && alias.back() == ' ') alias.pop_back();
      EXPECT_EQ(n["alias"], alias);
      continue;
    }
    ++transport;
    EXPECT_EQ(n["origin"], call(f[2]));
    EXPECT_EQ(n["destination"], call(f[3]));
    EXPECT_EQ(n["ttl"], std::stoi(f[4], nullptr, 16));
    EXPECT_EQ(n["opcode"], "information");
    EXPECT_EQ(std::stoi(f[5], nullptr, 16), 5);
    EXPECT_EQ(n["tx_seq"], std::stoi(f[6]));
    EXPECT_EQ(n["rx_seq"], std::stoi(f[7]));
    EXPECT_EQ(n["circuit_index"], std::stoi(f[8], nullptr, 16));
    EXPECT_EQ(n["circuit_id"], std::stoi(f[9], nullptr, 16));
  }
  EXPECT_GT(nodes, 10u);
  EXPECT_GT(transport, 50u);
  EXPECT_EQ(nodes + transport, netrom);
}

TEST_F(ConvertLayoutsCliTest, CheckExitStatuses) {
  const std::string clean = Capture("clean.kss");
  const std::string broken = WriteCapture("broken.kss", "xx" + Kiss(kUi));
  const std::string missing = PathOf("missing.kss");

  Result r = Convert("--check " + clean);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, clean + ": 5 frames, no findings\n");

  r = Convert("--check " + broken);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 3U) << r.out;
  EXPECT_NE(r.out.find(broken + ": offset 0: damage: skipped: 2 bytes before the first FEND\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Convert("--check --strict " + broken).status, 3);

  // A sound recording of a sender's broken APRS field: listed as the sender's, exit 0 unless
  // --strict.
  const std::string aprs = WriteCapture(
      "aprs.kss", Kiss(Ax25Frame({"APRS"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "!9103.50N/07201.75W-")));
  r = Convert("--check " + aprs);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, aprs +
                       ": offset 0: sender: aprs: frame 1: latitude \"9103.50N\" is over 90 "
                       "degrees\n" +
                       aprs + ": 1 frames, no damage, sender 1 (aprs 1)\n");
  EXPECT_EQ(Convert("--check --strict " + aprs).status, 3);
  EXPECT_EQ(Convert("--check --strict " + clean).status, 0);

  r = Convert("--check " + missing);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("missing.kss"), std::string::npos) << r.err;

  // Several captures: every report, and the worst status.
  r = Convert("--check " + clean + " " + broken);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(Lines(r.out).size(), 4U) << r.out;
  r = Convert("--check " + missing + " " + broken + " " + clean);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out).size(), 4U) << r.out;
}

TEST_F(ConvertLayoutsCliTest, CheckUsageErrors) {
  const std::string clean = Capture("clean.kss");
  EXPECT_EQ(Convert("--check --layout jsonl " + clean).status, 2);
  EXPECT_EQ(Convert("--check -o " + PathOf("report.txt") + " " + clean).status, 2);
  EXPECT_EQ(Convert("--check").status, 2);
  EXPECT_EQ(Convert("--strict -l jsonl " + clean).status, 2);
  const Result r = Convert(clean);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--check"), std::string::npos) << r.err;
  EXPECT_EQ(Convert("-l wireshark " + clean).status, 2);
}

TEST_F(ConvertLayoutsCliTest, FilterKissAndStats) {
  const std::string a = Capture("a.kss");
  Result r = Convert("-l monitor --filter 'type == RR or call == CQ' -o - " + a);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{
                "2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*,WIDE2-1: UI pid=F0 \"hello\"",
                "2016-01-01 12:34:56.789 QQ1QQ>QQ0QQ-1: RR nr=3 F",
            }));
  EXPECT_NE(r.err.find("(5 frames / "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; 2 match the filter)"), std::string::npos) << r.err;

  // A wrong expression: exit status 2, the column, nothing written.
  r = Convert("-l monitor --filter 'src == QQ0QQ and type ==' " + a);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("packscope-convert: filter: column 25: expected a value after \"==\", "
                       "found the end\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(testing::FileExists(PathOf("a.monitor.txt")));
  EXPECT_EQ(Convert("--check --filter 'src == QQ0QQ' " + a).status, 2);

  // The kiss and stats layouts under their own names.
  r = Convert("-l kiss --filter 'src == QQ0QQ-*' " + a);
  EXPECT_EQ(r.status, 0) << r.err;
  r = Convert("-l jsonl -o - " + PathOf("a.frames.kss"));
  EXPECT_EQ(Lines(r.out).size(), 3U) << r.err;
  r = Convert("-l stats " + a);
  EXPECT_EQ(r.status, 0) << r.err;
  const json stats = json::parse(testing::ReadFile(PathOf("a.stats.json")));
  EXPECT_EQ(stats["frames"], 4);
  EXPECT_EQ(stats["stations"]["QQ0QQ-1"]["destinations"], json::parse(R"({"CQ":1,"QQ1QQ":2})"));
}

}  // namespace
}  // namespace packscope
