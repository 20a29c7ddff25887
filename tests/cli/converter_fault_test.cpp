// Broken captures and failing file systems, through packscope-convert: each fault gives one
// clear message and exit status 1, the other captures of the run are still converted, an
// earlier output of the same name stays byte for byte as it was, and huge captures are read as
// a stream in constant memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "support/test_files.h"

extern char** environ;

namespace packscope {
namespace {

using testing::FileExists;
using testing::Hex;
using testing::ReadFile;
using testing::WriteFile;

const std::string kGood = Hex("C0 00 41 42 C0 C0 00 43 C0");

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::string Header() {
  const auto h = ColumnHeader();
  return h[0] + "\r\n" + h[1] + "\r\n";
}

struct Outcome {
  int status = -1;           // exit status, -1 when ended by a signal
  int signal = 0;            // the signal that ended it
  std::int64_t max_rss = 0;  // peak resident memory, bytes
  std::string err;
};

struct RunOptions {
  std::optional<rlim_t> file_size_limit;  // RLIMIT_FSIZE, as `ulimit -f` sets it
  int stdout_fd = -1;                     // standard output, else a file in the folder
};

class ConverterFaultTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::TempDirTest::SetUp();
    WriteCapture("good.kss", kGood);
  }

  // packscope-convert with these arguments in the test's folder, under the C locale and with
  // the signal dispositions a shell gives a program.
  Outcome Convert(const std::vector<std::string>& args, const RunOptions& options = {}) {
    std::vector<std::string> strings{PACKSCOPE_CONVERT};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings{"LC_ALL=C", "LANG=C"};
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG=", 5) != 0) {
        env_strings.emplace_back(*e);
      }
    }
    std::vector<char*> envp;
    for (std::string& s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string out_path = PathOf("stdout");
    const std::string err_path = PathOf("stderr");
    const std::string dir = Dir();

    const pid_t pid = ::fork();
    if (pid == 0) {
      const int out = options.stdout_fd >= 0
                          ? options.stdout_fd
                          : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir.c_str()))
        ::_exit(126);
      ::signal(SIGPIPE, SIG_DFL);
      ::signal(SIGXFSZ, SIG_DFL);
      if (options.file_size_limit) {
        const rlimit limit{*options.file_size_limit, *options.file_size_limit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    Outcome run;
    int status = 0;
    rusage usage{};
    EXPECT_EQ(::wait4(pid, &status, 0, &usage), pid);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    run.max_rss = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
    run.err = ReadFile(err_path);
    ::unlink(out_path.c_str());
    ::unlink(err_path.c_str());
    return run;
  }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir())) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

  // A file of size bytes that holds only the given pieces at their offsets: sparse, it takes
  // no room on the disk.
  std::string SparseCapture(const std::string& name, std::int64_t size,
                            const std::vector<std::pair<std::int64_t, std::string>>& pieces) {
    const std::string path = PathOf(name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, bytes] : pieces) {
      EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
    return path;
  }

  // Peak memory of a run over a huge capture: a stream read in blocks stays near what a run
  // over a tiny capture needs.
  void ExpectConstantMemory(const Outcome& huge, const std::string& layout) {
    const Outcome tiny = Convert({"--layout", layout, "-o", "tiny.out", "good.kss"});
    ASSERT_EQ(tiny.status, 0) << tiny.err;
    EXPECT_LT(huge.max_rss, tiny.max_rss + (32 << 20))
        << "tiny capture: " << tiny.max_rss << " bytes";
    if (!kSanitized) {
      EXPECT_LT(huge.max_rss, 64 << 20);
    }
    ::unlink(PathOf("tiny.out").c_str());
  }
};

TEST_F(ConverterFaultTest, CapturesThatCannotBeRead) {
  ASSERT_EQ(::mkdir(PathOf("folder.kss").c_str(), 0755), 0);
  for (const char* name : {"missing.hex", "folder.hex", "later.hex"})
    WriteFile(PathOf(name), "earlier");
  WriteCapture("later.kss", kGood);
  // The bad captures first, a good one between them and the good one last: the run goes on.
  const Outcome run = Convert({"--layout", "hex-kissframe", "missing.kss", "folder.kss", "good.kss",
                               "good.kss/x.kss", "later.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Cannot read the capture \"missing.kss\": No such file or "
            "directory. Nothing was written to \"missing.hex\".\n"
            "packscope-convert: Cannot read the capture \"folder.kss\": it is a folder, not a "
            "file. Nothing was written to \"folder.hex\".\n"
            "good.hex has been written (2 frames / 5 bytes)\n"
            "packscope-convert: Cannot read the capture \"good.kss/x.kss\": Not a directory. "
            "Nothing was written to \"good.kss/x.hex\".\n"
            "later.hex has been written (2 frames / 5 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("missing.hex")), "earlier");
  EXPECT_EQ(ReadFile(PathOf("folder.hex")), "earlier");
  EXPECT_EQ(ReadFile(PathOf("good.hex")), Header() + "00 41 42 \r\n00 43 \r\n");
  EXPECT_EQ(ReadFile(PathOf("later.hex")), ReadFile(PathOf("good.hex")));

  // A capture that fails while it is read (reading the process's memory at address 0).
  WriteFile(PathOf("mem.hex"), "earlier");
  const Outcome mem = Convert({"--layout", "hex-complete", "-o", "mem.hex", "/proc/self/mem"});
  EXPECT_EQ(mem.status, 1);
  EXPECT_EQ(mem.err,
            "packscope-convert: Cannot read the capture \"/proc/self/mem\": Input/output error. "
            "Nothing was written to \"mem.hex\".\n");
  EXPECT_EQ(ReadFile(PathOf("mem.hex")), "earlier");
  EXPECT_EQ(Names(), (std::set<std::string>{"good.kss", "folder.kss", "later.kss", "missing.hex",
                                            "folder.hex", "good.hex", "later.hex", "mem.hex"}));
}

TEST_F(ConverterFaultTest, OutputsThatCannotBeWritten) {
  Outcome run = Convert({"--layout", "hex-complete", "-o", "nowhere/out.hex", "good.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Cannot write \"nowhere/out.hex\": No such file or directory.\n");

  // A stamp log that cannot be written: reported, the conversion itself still done.
  run = Convert({"--layout", "hex-payload", "--stamp-log", "nowhere/stamps.txt", "good.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Cannot write \"nowhere/stamps.txt\": No such file or directory.\n"
            "good.hex has been written (2 frames / 5 bytes)\n");
  EXPECT_TRUE(FileExists(PathOf("good.hex")));

  // Standard output into a pipe that nobody reads any more.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  run = Convert({"--layout", "hex-complete", "-o", "-", "good.kss"},
                {.file_size_limit = std::nullopt, .stdout_fd = fds[1]});
  ::close(fds[1]);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "packscope-convert: Cannot write \"-\": Broken pipe.\n");
}

// The file system refuses more bytes midway (a file size limit, as a full disk does): the earlier
// file stays, no temporary file is left, and the program ends with a message, not a signal.
TEST_F(ConverterFaultTest, AWriteThatFailsMidway) {
  std::string capture;
  for (int i = 0; i < 4000; ++i) capture += Hex("C0 00") + std::string(100, 'A') + Hex("C0");
  WriteCapture("pass1.kss", capture);  // about 1.2 MB of hex text
  WriteFile(PathOf("pass1.hex"), "earlier");
  const auto names = Names();
  const Outcome run = Convert({"--layout", "hex-complete", "pass1.kss", "good.kss"},
                              {.file_size_limit = 256 * 1024, .stdout_fd = -1});
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Cannot write \"pass1.hex\": File too large. Nothing was written to "
            "\"pass1.hex\".\n"
            "good.hex has been written (2 frames / 5 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("pass1.hex")), "earlier");
  auto after = Names();
  after.erase("good.hex");
  EXPECT_EQ(after, names);
}

TEST_F(ConverterFaultTest, OutputNamesThatLeadToTheCapture) {
  WriteCapture("pass1.kss", kGood);
  ASSERT_EQ(::symlink("pass1.kss", PathOf("pass1.hex").c_str()), 0);
  ASSERT_EQ(::symlink(PathOf("pass1.kss").c_str(), PathOf("link").c_str()), 0);
  Outcome run = Convert({"--layout", "hex-complete", "pass1.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: \"pass1.hex\" was not written: it is the capture itself, which "
            "the command reads.\n");
  run = Convert({"--layout", "screen", "-o", "link", "pass1.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: \"link\" was not written: it is the capture itself, which the "
            "command reads.\n");
  EXPECT_EQ(ReadFile(PathOf("pass1.kss")), kGood);
  EXPECT_TRUE(std::filesystem::is_symlink(PathOf("pass1.hex")));
}

TEST_F(ConverterFaultTest, AFrameTooLongAndCapturesWithoutProperFrames) {
  WriteCapture("long.kss", Hex("C0 00 41 C0") + "\xC0" + std::string(70000, 'x') + Hex("C0"));
  WriteFile(PathOf("long.hex"), "earlier");
  WriteCapture("fends.kss", std::string(6, '\xC0'));
  WriteCapture("fescs.kss", std::string(1000, '\xDB'));
  WriteCapture("empty.kss", "");
  const Outcome run =
      Convert({"--layout", "hex-kissframe", "long.kss", "fends.kss", "fescs.kss", "empty.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Frame 2 at byte offset 4 of \"long.kss\" is longer than 65535 "
            "bytes; the pass stopped there. Nothing was written to \"long.hex\".\n"
            "fends.hex has been written (3 frames / 0 bytes)\n"
            "fescs.hex has been written (0 frames / 0 bytes)\n"
            "empty.hex has been written (0 frames / 0 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("long.hex")), "earlier");
  EXPECT_EQ(ReadFile(PathOf("fends.hex")), Header() + "\r\n\r\n\r\n");
  EXPECT_EQ(ReadFile(PathOf("fescs.hex")), Header());
  EXPECT_EQ(ReadFile(PathOf("empty.hex")), Header());
}

TEST_F(ConverterFaultTest, RandomBinaryFiles) {
  std::mt19937 random(1789);
  std::vector<std::string> args{"--layout", "ascii-payload-time"};
  for (int i = 0; i < 4; ++i) {
    std::string bytes(std::uniform_int_distribution<std::size_t>(1, 300000)(random), '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    args.push_back("random" + std::to_string(i) + ".bin");
    WriteCapture(args.back(), bytes);
  }
  for (const char* layout : {"screen", "hex-complete", "ascii-payload-time"}) {
    args[1] = layout;
    const Outcome run = Convert(args);
    EXPECT_EQ(run.status, 0) << layout << ": " << run.err;
    EXPECT_EQ(run.signal, 0);
    std::size_t lines = 0;
    for (char c : run.err) lines += c == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 4u) << run.err;
  }
}

// A hundred megabytes without a single FEND: skipped as a stream, in constant memory.
TEST_F(ConverterFaultTest, AHundredMegabytesWithoutAFend) {
  std::string block(1 << 20, '\0');
  std::mt19937 random(7);
  for (char& b : block) {
    b = static_cast<char>(random() % 0xC0);  // anything but C0 (FESCs included)
  }
  {
    const int fd = ::open(PathOf("big.kss").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 100; ++i) {
      ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    }
    ::close(fd);
  }
  const Outcome run = Convert({"--layout", "screen", "big.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "big.log has been written (0 frames / 0 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("big.log")), "\r\n");
  ExpectConstantMemory(run, "screen");
}

// Two gigabytes and more (sparse files: no room on the disk): offsets beyond 32 bits, and a
// frame that would be two gigabytes long.
TEST_F(ConverterFaultTest, TwoGigabyteSparseCaptures) {
  const std::int64_t two_gb = std::int64_t{1} << 31;
  SparseCapture("sparse.kss", two_gb + 4096, {{two_gb + 4088, Hex("C0 00 41 C0 C0 00 42 C0")}});
  Outcome run = Convert({"--layout", "hex-kissframe", "sparse.kss"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "sparse.hex has been written (2 frames / 4 bytes)\n");
  EXPECT_EQ(ReadFile(PathOf("sparse.hex")), Header() + "00 41 \r\n00 42 \r\n");
  ExpectConstantMemory(run, "hex-kissframe");

  SparseCapture("fend.kss", two_gb, {{0, Hex("C0 00")}});
  WriteFile(PathOf("fend.log"), "earlier");
  run = Convert({"--layout", "screen", "fend.kss"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "packscope-convert: Frame 1 at byte offset 0 of \"fend.kss\" is longer than 65535 "
            "bytes; the pass stopped there. Nothing was written to \"fend.log\".\n");
  EXPECT_EQ(ReadFile(PathOf("fend.log")), "earlier");
  ExpectConstantMemory(run, "screen");
}

}  // namespace
}  // namespace packscope
