// File names that are not UTF-8 and locales whose dates the code page cannot hold, end to end:
// names are carried as the bytes given, from the arguments to the files written; stamps in such
// locales are written with ISO 8601 digits instead of question marks, in the files, the JSON
// Lines' "stamp" and the stamp log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/convert_process.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::ConvertOutcome;
using testing::Hex;
using testing::ReadFile;
using testing::RunConvert;

// A binary stamp (2016-01-01 12:34:56.789 UTC) and a UI frame QQ0QQ-1 > CQ "Hi".
const std::string kCapture =
    Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"
        " C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0");

class NamesLocalesTest : public testing::TempDirTest {
 protected:
  ConvertOutcome Convert(const std::vector<std::string>& args,
                         const std::string& locale = "LC_ALL=C") {
    return RunConvert(args, {Dir(), {locale, "LANG=C"}});
  }
};

TEST_F(NamesLocalesTest, NamesThatAreNotUtf8AreKeptAsBytes) {
  // "café" in Latin-1, and two names that differ only in bytes that are not UTF-8.
  WriteCapture("caf\xE9.kss", kCapture);
  ConvertOutcome run = Convert({"-l", "monitor", "--stamp-log", "st\xE9.txt", "caf\xE9.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "caf\xE9.monitor.txt has been written (2 frames / 28 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("caf\xE9.monitor.txt")),
            "2016-01-01 12:34:56.789 QQ0QQ-1>CQ: UI pid=F0 \"Hi\"\n");
  EXPECT_EQ(ReadFile(PathOf("st\xE9.txt")), "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n");

  run = Convert({"-l", "hex-payload", "-o", "a\xE9.hex", "caf\xE9.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  run = Convert({"-l", "hex-payload", "-o", "a\xE8.hex", "caf\xE9.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(PathOf("a\xE9.hex")), "48 69 \r\n");
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"a\xE8.hex", "a\xE9.hex", "caf\xE9.kss",
                                                   "caf\xE9.monitor.txt", "st\xE9.txt"}));

  run = Convert({"--check", "caf\xE9.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "caf\xE9.kss: 2 frames, no findings\n");
  // A missing one is named as given.
  run = Convert({"-l", "monitor", "gon\xE9.kss"});
  EXPECT_EQ(run.err,
            "packscope-convert: Cannot read the capture \"gon\xE9.kss\": No such file or "
            "directory. Nothing was written to \"gon\xE9.monitor.txt\".\n");
}

TEST_F(NamesLocalesTest, StampsInLocalesBeyondTheCodePage) {
  WriteCapture("pass1.kss", kCapture);
  struct Case {
    const char* locale;
    const char* when;  // date and time of the stamp
  };
  for (const Case& c : {
           Case{"ar_EG.UTF-8", "2016-01-01 12:34:56"},
           Case{"fa_IR.UTF-8", "2016-01-01 12:34:56"},
           Case{"th_TH.UTF-8", "1/1/2016 12:34:56"},
           Case{"ja_JP.UTF-8", "2016/01/01 12:34:56"},
           Case{"my_MM.UTF-8", "2016-01-01 12:34:56"},
           Case{"de_DE.UTF-8", "01.01.2016 12:34:56"},
       }) {
    SCOPED_TRACE(c.locale);
    const std::string locale = std::string("LC_ALL=") + c.locale;
    const std::string when = c.when;
    ConvertOutcome run = Convert(
        {"-l", "hex-payload-time", "--stamp-log", "stamps.txt", "-o", "-", "pass1.kss"}, locale);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, when + ".789 UTC: 48 69 \r\n");
    EXPECT_EQ(ReadFile(PathOf("stamps.txt")), "00000151FD2F0895 -> " + when + ".789\r\n");
    run = Convert({"-l", "jsonl", "-o", "-", "pass1.kss"}, locale);
    EXPECT_NE(run.out.find("\"stamp\":\"" + when + ".789 UTC\""), std::string::npos) << run.out;
  }
}

}  // namespace
}  // namespace packscope
