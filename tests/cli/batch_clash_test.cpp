// Runs that would destroy what they read or write: the stamp log onto a capture or the output, a
// batch whose outputs land on another capture or on each other, standard output open on a
// capture, the output and the stamp log both on standard output, and a failed run's stamp log.
// Each is refused before anything is written, and every file stays byte for byte as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
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
using testing::WriteFile;

// A binary stamp and a UI frame QQ0QQ-1 > CQ "Hi".
const std::string kCapture =
    Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"
        " C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0");
const std::string kOther = Hex("C0 00 41 42 C0");

class BatchClashTest : public testing::TempDirTest {
 protected:
  ConvertOutcome Convert(const std::vector<std::string>& args, int stdout_fd = -1) {
    return RunConvert(args, {Dir(), {"LC_ALL=C", "LANG=C"}, stdout_fd});
  }
  // Every name in the folder (hidden ones included) with its bytes, or its link's target.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(Dir())) {
      const std::string name = e.path().filename().string();
      files[name] = e.is_symlink()     ? "-> " + std::filesystem::read_symlink(e.path()).string()
                    : e.is_directory() ? "(folder)"
                                       : ReadFile(e.path().string());
    }
    return files;
  }
};

TEST_F(BatchClashTest, TheStampLogIsNeverACaptureNorAnOutput) {
  WriteCapture("a.kss", kCapture);
  WriteCapture("b.kss", kOther);
  WriteFile(PathOf("out.jsonl"), "earlier output");
  ASSERT_EQ(::symlink("a.kss", PathOf("link.kss").c_str()), 0);
  ASSERT_EQ(::link(PathOf("b.kss").c_str(), PathOf("hard.kss").c_str()), 0);
  ASSERT_EQ(::link(PathOf("out.jsonl").c_str(), PathOf("hard.jsonl").c_str()), 0);
  const auto before = Snapshot();
  struct Case {
    std::vector<std::string> args;
    std::string what;  // the end of the message
  };
  for (const Case& c : {
           Case{{"-l", "monitor", "--stamp-log", "a.kss", "a.kss"}, "the capture \"a.kss\""},
           Case{{"--check", "--stamp-log", "a.kss", "a.kss"}, "the capture \"a.kss\""},
           Case{{"-l", "monitor", "--stamp-log", "link.kss", "b.kss", "a.kss"},
                "the capture \"a.kss\""},
           Case{{"-l", "pcap", "--stamp-log", "hard.kss", "a.kss", "b.kss"},
                "the capture \"b.kss\""},
           Case{{"-l", "jsonl", "-o", "out.jsonl", "--stamp-log", "out.jsonl", "a.kss"},
                "the output \"out.jsonl\""},
           Case{{"-l", "jsonl", "-o", "out.jsonl", "--stamp-log", "hard.jsonl", "a.kss"},
                "the output \"out.jsonl\""},
           // An output that does not exist yet, spelt another way.
           Case{{"-l", "monitor", "--stamp-log", "./a.monitor.txt", "a.kss"},
                "the output \"a.monitor.txt\""},
       }) {
    SCOPED_TRACE(c.args[3]);
    const ConvertOutcome run = Convert(c.args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(" is " + c.what + " of this run; nothing was written."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(BatchClashTest, OutputsThatWouldDestroyAnotherCaptureOrOutput) {
  // kiss.2.log would be written to kiss.log, a capture of the run; kiss.log to itself.
  WriteCapture("kiss.log", kCapture);
  WriteCapture("kiss.2.log", kOther);
  // Two captures of one stem; a third capture is converted all the same.
  WriteCapture("p.morning.kss", kCapture);
  WriteCapture("p.evening.kss", kOther);
  WriteCapture("good.kss", kCapture);
  WriteFile(PathOf("p.monitor.txt"), "earlier");
  const auto before = Snapshot();

  ConvertOutcome run = Convert({"-l", "screen", "kiss.log", "kiss.2.log"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: \"kiss.2.log\" was not converted: its output \"kiss.log\" is the "
            "capture \"kiss.log\".\n"
            "packscope-convert: \"kiss.log\" was not written: it is the capture itself, which "
            "the command reads.\n");
  EXPECT_EQ(Snapshot(), before);

  run = Convert({"-l", "monitor", "p.morning.kss", "good.kss", "p.evening.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: \"p.morning.kss\" and \"p.evening.kss\" were not converted: each "
            "would be written to \"p.monitor.txt\", replacing the other; --name or --output-dir "
            "gives each output a name of its own.\n"
            "good.monitor.txt has been written (2 frames / 28 bytes)\n");
  auto expected = before;
  expected["good.monitor.txt"] = ReadFile(PathOf("good.monitor.txt"));
  EXPECT_EQ(Snapshot(), expected);

  // Three outputs on one name, through a link as well: one message names the three captures.
  ASSERT_EQ(::symlink("p.morning.kss", PathOf("p.noon.kss").c_str()), 0);
  expected["p.noon.kss"] = "-> p.morning.kss";
  run = Convert(
      {"-l", "monitor", "--name", "x.{ext}", "p.morning.kss", "p.noon.kss", "p.evening.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: \"p.morning.kss\", \"p.noon.kss\" and \"p.evening.kss\" were not "
            "converted: each would be written to \"x.monitor.txt\", replacing the others; --name "
            "or --output-dir gives each output a name of its own.\n");
  EXPECT_EQ(Snapshot(), expected);
}

TEST_F(BatchClashTest, OutputFolderAndNamePattern) {
  WriteCapture("p.morning.kss", kCapture);
  WriteCapture("p.evening.kss", kOther);
  ASSERT_EQ(::mkdir(PathOf("out").c_str(), 0755), 0);
  ConvertOutcome run = Convert({"-l", "monitor", "--output-dir", "out", "--name", "{name}.{ext}",
                                "p.morning.kss", "p.evening.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(PathOf("out/p.morning.kss.monitor.txt")),
            "2016-01-01 12:34:56.789 QQ0QQ-1>CQ: UI pid=F0 \"Hi\"\n");
  EXPECT_EQ(ReadFile(PathOf("out/p.evening.kss.monitor.txt")).substr(0, 4), "(too");

  // {stem} alone in another folder; the default pattern is {stem}.{ext}.
  run = Convert({"-l", "hex-payload", "--output-dir", PathOf("out") + "/", "--name",
                 "{stem}-payload.txt", "p.morning.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(PathOf("out/p-payload.txt")), "48 69 \r\n");
  run = Convert({"-l", "hex-payload", "--output-dir", "out", "p.morning.kss"});
  EXPECT_EQ(run.err, "out/p.hex has been written (2 frames / 28 bytes)\n");

  const auto before = Snapshot();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-l", "monitor", "--name", "{stem}.{suffix}", "p.morning.kss"},
           {"-l", "monitor", "--name", "{stem", "p.morning.kss"},
           {"-l", "monitor", "--name", "../{name}", "p.morning.kss"},
           {"-l", "monitor", "--name", "", "p.morning.kss"},
           {"-l", "monitor", "--output-dir", "", "p.morning.kss"},
           {"-l", "monitor", "-o", "x.txt", "--name", "{name}", "p.morning.kss"},
           {"--check", "--output-dir", "out", "p.morning.kss"},
       }) {
    SCOPED_TRACE(args[2] + " " + args[3]);
    run = Convert(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(BatchClashTest, AFailedRunKeepsTheEarlierStampLog) {
  WriteCapture("a.kss", kCapture);
  // A capture that is missing, and one with a frame longer than 65535 bytes behind a stamp.
  WriteCapture("long.kss", kCapture + Hex("C0 00") + std::string(70000, 'A') + Hex("C0"));
  WriteFile(PathOf("keep.txt"), "earlier stamp log");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-l", "monitor", "--stamp-log", "keep.txt", "a.kss", "missing.kss"},
           {"-l", "monitor", "-o", "out.txt", "--stamp-log", "keep.txt", "long.kss"},
           {"--check", "--stamp-log", "keep.txt", "a.kss", "long.kss"},
       }) {
    SCOPED_TRACE(args.back());
    const ConvertOutcome run = Convert(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("The stamp log \"keep.txt\" was not written"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(PathOf("keep.txt")), "earlier stamp log");
    EXPECT_FALSE(testing::FileExists(PathOf("out.txt")));
  }
  // A run that succeeds replaces it; no temporary file stays behind.
  const ConvertOutcome run = Convert({"-l", "monitor", "--stamp-log", "keep.txt", "a.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(PathOf("keep.txt")), "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n");
  EXPECT_EQ(FileNames(),
            (std::vector<std::string>{"a.kss", "a.monitor.txt", "keep.txt", "long.kss"}));
}

TEST_F(BatchClashTest, StandardOutputOpenOnACapture) {
  const std::string capture = WriteCapture("big.kss", kCapture);
  const int fd = ::open(capture.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  // ... -o - big.kss >> big.kss
  ConvertOutcome run = Convert({"-l", "jsonl", "-o", "-", "big.kss"}, fd);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Standard output was not written: it is the capture itself, "
            "which the command reads.\n");
  run = Convert({"--check", "big.kss"}, fd);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Standard output was not written: it is the capture \"big.kss\", "
            "which the check reads.\n");
  run = Convert({"-l", "monitor", "--stamp-log", "-", "big.kss"}, fd);
  EXPECT_EQ(run.status, 2);
  ::close(fd);
  // In a batch no other capture's report may land in it either, appended (>>) or over its
  // first bytes (1<>).
  WriteCapture("other.kss", kOther);
  for (const int flags : {O_WRONLY | O_APPEND, O_RDWR}) {
    const int batch_fd = ::open(capture.c_str(), flags);
    ASSERT_GE(batch_fd, 0);
    run = Convert({"--check", "other.kss", "big.kss"}, batch_fd);
    ::close(batch_fd);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "packscope-convert: Standard output was not written: it is the capture "
              "\"big.kss\", which the check reads. No capture was checked.\n");
  }
  EXPECT_EQ(ReadFile(capture), kCapture);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"big.kss", "other.kss"}));
}

TEST_F(BatchClashTest, OutputAndStampLogBothOnStandardOutput) {
  WriteCapture("a.kss", kCapture);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-l", "monitor", "-o", "-", "--stamp-log", "-", "a.kss"},
           {"--check", "--stamp-log", "-", "a.kss"},
       }) {
    const ConvertOutcome run = Convert(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--stamp-log -"), std::string::npos) << run.err;
  }
  // Each on its own is fine.
  const ConvertOutcome run = Convert({"-l", "monitor", "--stamp-log", "-", "a.kss"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n");
}

}  // namespace
}  // namespace packscope
