// End-to-end: packscope-convert on small captures, whole output files compared byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FileExists;
using testing::Hex;
using testing::ReadFile;
using testing::WriteFile;

// A binary stamp, a UI frame CQ <- QQ0QQ-1 "Hi" with an escaped C0 in its payload, an empty
// frame, and a frame behind a shared FEND.
const std::string kCapture =
    Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"
        " C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 DB DC C0"
        " C0 C0"
        " 00 41 42 C0");

const std::string kStamp = "1 Jan 2016 12:34:56.789 UTC";
const std::string kRaw = "C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 DB DC C0 ";
const std::string kSeparator = std::string(80, '_') + "\r\n";

std::string Header() {
  const auto h = ColumnHeader();
  return h[0] + "\r\n" + h[1] + "\r\n";
}

class ConverterTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::TempDirTest::SetUp();
    capture = WriteCapture("pass1.kss", kCapture);
  }
  // Runs the converter with these arguments (and environment assignments in front); returns
  // its exit status and keeps standard output and error.
  int Run(const std::string& args, const std::string& env = "LC_ALL=C LANG=C") {
    const std::string cmd = "cd '" + Dir() + "' && env " + env + " '" PACKSCOPE_CONVERT "' " +
                            args + " >'" + PathOf("stdout") + "' 2>'" + PathOf("stderr") + "'";
    const int status = std::system(cmd.c_str());
    out = ReadFile(PathOf("stdout"));
    err = ReadFile(PathOf("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string capture;
  std::string out;
  std::string err;
};

TEST_F(ConverterTest, EveryFileLayoutByteForByte) {
  const std::string hex = PathOf("pass1.hex");
  ASSERT_EQ(Run("--layout hex-complete pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(hex), Header() + kRaw + "\r\nC0 C0 \r\nC0 00 41 42 C0 \r\n");
  EXPECT_EQ(err, "pass1.hex has been written (4 frames / 32 bytes)\n");

  ASSERT_EQ(Run("--layout hex-kissframe pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(hex),
            Header() +
                "00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0 \r\n\r\n"
                "00 41 42 \r\n");

  ASSERT_EQ(Run("--layout hex-payload pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(hex), "48 69 C0 \r\n\r\n\r\n");

  ASSERT_EQ(Run("--layout hex-payload-time pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(hex), kStamp + ": 48 69 C0 \r\n" + kStamp + ": \r\n" + kStamp + ": \r\n");

  ASSERT_EQ(Run("--layout ascii-payload-time pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(PathOf("pass1.txt")),
            kStamp + ": \xC0.\x86\xA2@@@@`\xA2\xA2`\xA2\xA2@c.\xF0Hi\xDB\xDC\xC0\r\n" + kStamp +
                ": \xC0\xC0\r\n" + kStamp + ": \xC0.AB\xC0\r\n");
}

TEST_F(ConverterTest, ScreenLayoutWritesWhatTheLogCommandWrites) {
  ASSERT_EQ(Run("--layout screen pass1.kss"), 0) << err;
  const std::string block1 =
      kStamp + "\r\n000 > " + kRaw.substr(0, 60) + "\r\n020 > DB DC C0 \r\n\r\n" +
      "\xC0.\x86\xA2@@@@`\xA2\xA2`\xA2\xA2@c.\xF0Hi\xDB\xDC\xC0\r\n" + kSeparator;
  const std::string block2 = kStamp + "\r\n000 > C0 C0 \r\n\r\n\xC0\xC0\r\n" + kSeparator;
  const std::string block3 =
      kStamp + "\r\n000 > C0 00 41 42 C0 \r\n\r\n\xC0.AB\xC0\r\n" + kSeparator;
  EXPECT_EQ(ReadFile(PathOf("pass1.log")), block1 + block2 + block3 + "\r\n");

  ASSERT_EQ(Run("--layout screen --decode-kiss -o - pass1.kss"), 0) << err;
  EXPECT_EQ(out.substr(0, kStamp.size() + 2 + 68),
            kStamp + "\r\n000 > 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0 \r\n");
  EXPECT_EQ(out.substr(out.size() - 2 - kSeparator.size() - 5), ".AB\r\n" + kSeparator + "\r\n");
  EXPECT_EQ(err, "standard output has been written (4 frames / 32 bytes)\n");
}

TEST_F(ConverterTest, WithoutAx25ThePayloadIsNeverRenewed) {
  ASSERT_EQ(Run("--layout hex-payload --no-ax25 -o out.hex pass1.kss"), 0) << err;
  EXPECT_EQ(ReadFile(PathOf("out.hex")), "\r\n\r\n\r\n");
  EXPECT_FALSE(FileExists(PathOf("pass1.hex")));
}

TEST_F(ConverterTest, StampLogAndTheUsersRegionalSettings) {
  ASSERT_EQ(
      Run("--layout hex-payload-time --stamp-log stamps.txt -o - pass1.kss", "LC_ALL=de_DE.UTF-8"),
      0)
      << err;
  EXPECT_EQ(out.substr(0, 32), "01.01.2016 12:34:56.789 UTC: 48 ");
  EXPECT_EQ(ReadFile(PathOf("stamps.txt")), "00000151FD2F0895 -> 01.01.2016 12:34:56.789\r\n");

  ASSERT_EQ(Run("--layout hex-payload-time -o - pass1.kss", "LC_ALL= LANG=en_US.UTF-8"), 0);
  EXPECT_EQ(out.substr(0, 31), "1/1/2016 12:34:56 PM.789 UTC: 4");

  // A capture without stamps still gets its (empty) stamp log; an empty capture an empty file.
  WriteCapture("empty.kss", "");
  ASSERT_EQ(Run("--layout hex-payload --stamp-log none.txt empty.kss"), 0) << err;
  EXPECT_TRUE(FileExists(PathOf("none.txt")));
  EXPECT_EQ(ReadFile(PathOf("none.txt")), "");
  EXPECT_TRUE(FileExists(PathOf("empty.hex")));
  EXPECT_EQ(ReadFile(PathOf("empty.hex")), "");
}

TEST_F(ConverterTest, SeveralCapturesOneFailing) {
  WriteCapture("pass2.kss", Hex("C0 00 41 C0"));
  WriteFile(PathOf("pass3.hex"), "earlier");
  EXPECT_EQ(Run("--layout hex-kissframe pass2.kss missing.kss pass1.kss pass3.kss"), 1);
  EXPECT_EQ(ReadFile(PathOf("pass2.hex")), Header() + "00 41 \r\n");
  EXPECT_NE(ReadFile(PathOf("pass1.hex")).find("00 41 42 \r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(PathOf("pass3.hex")), "earlier");
  EXPECT_FALSE(FileExists(PathOf("missing.hex")));
  EXPECT_NE(err.find("packscope-convert: Cannot read the capture \"missing.kss\": No such file or "
                     "directory. Nothing was written to \"missing.hex\".\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Cannot read the capture \"pass3.kss\""), std::string::npos) << err;
}

TEST_F(ConverterTest, TheCaptureIsNeverItsOwnOutput) {
  WriteCapture("sat.hex", kCapture);
  EXPECT_EQ(Run("--layout hex-complete sat.hex"), 1);
  EXPECT_EQ(ReadFile(PathOf("sat.hex")), kCapture);
  EXPECT_EQ(Run("--layout hex-complete -o pass1.kss pass1.kss"), 1);
  EXPECT_EQ(ReadFile(capture), kCapture);
  EXPECT_NE(err.find("it is the capture itself"), std::string::npos) << err;
}

TEST_F(ConverterTest, UsageErrors) {
  EXPECT_EQ(Run("pass1.kss"), 2);
  EXPECT_NE(err.find("--layout (or --check) is required"), std::string::npos) << err;
  EXPECT_EQ(Run("--layout hexdump pass1.kss"), 2);
  EXPECT_NE(err.find("unknown layout 'hexdump'"), std::string::npos) << err;
  EXPECT_EQ(Run("--layout screen"), 2);
  EXPECT_EQ(Run("--layout screen -o x pass1.kss pass1.kss"), 2);
  EXPECT_EQ(Run("--layout screen --frobnicate pass1.kss"), 2);
  EXPECT_FALSE(FileExists(PathOf("pass1.log")));
  EXPECT_FALSE(FileExists(PathOf("x")));
}

TEST_F(ConverterTest, HelpAndVersion) {
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(out.find("--layout"), std::string::npos);
  EXPECT_NE(out.find("hex-payload-time"), std::string::npos);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(out.substr(0, 18), "packscope-convert ");
}

}  // namespace
}  // namespace packscope
