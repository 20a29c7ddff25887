// Broken captures and failing file systems, through the window's commands: every fault gives
// one clear message, the window stays usable, and an earlier output file of the same name stays
// byte for byte as it was (no file is lost or half-written, no temporary file is left).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "capture/headless_window.h"
#include "capture/output_file.h"
#include "commands/commands.h"
#include "support/failing_device.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FileExists;
using testing::Hex;
using testing::ReadFile;
using testing::WriteFile;

const std::string kGood = Hex("C0 00 41 42 C0 C0 00 43 C0");

// The headless window with a hook into the pass: ShowProgress comes after every block read.
class HookWindow : public HeadlessWindow {
 public:
  bool ShowProgress(std::int64_t done, std::int64_t total) override {
    if (on_progress) on_progress(done, total);
    return true;
  }
  std::function<void(std::int64_t, std::int64_t)> on_progress;
};

class CommandsFaultTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::TempDirTest::SetUp();
    good = WriteCapture("good.kss", kGood);
  }

  // The names in the folder: a temporary file left behind shows up here.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir())) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

  // Earlier output files next to a capture, one per extension, with known contents.
  void PlaceEarlierOutputs(const std::string& capture) {
    for (const char* ext : {"hex", "txt", "log"}) {
      const std::string path = DeriveOutputName(capture, ext);
      WriteFile(path, std::string("earlier ") + ext + "\r\n");
    }
  }
  void ExpectEarlierOutputs(const std::string& capture) {
    for (const char* ext : {"hex", "txt", "log"}) {
      EXPECT_EQ(ReadFile(DeriveOutputName(capture, ext)), std::string("earlier ") + ext + "\r\n")
          << ext;
    }
  }

  // The window still works: the good capture opens and shows its two frames.
  void ExpectWindowUsable() {
    window.ClearErrors();
    window.SetCheck1(false);
    EXPECT_TRUE(OpenCapture(state, window, good));
    EXPECT_EQ(window.Label1(), "2 frames / 5 bytes");
    EXPECT_NE(window.DisplayText().find("000 > C0 00 43 C0 "), std::string::npos);
    EXPECT_EQ(window.Errors(), std::vector<std::string>());
    EXPECT_FALSE(window.Busy());
  }

  // Opening a capture that cannot be read reports message and leaves no capture chosen, so that
  // Check1 then does nothing. The five write commands on a chosen capture that cannot be read
  // any more each report message and that nothing was written, and no file changes. The capture
  // is opened before the output: also where the output's folder cannot hold a file either (no
  // output_folder), the capture's reason is the one reported.
  void ExpectUnreadable(const std::string& capture, const std::string& message,
                        bool output_folder = true) {
    SCOPED_TRACE(capture);
    if (output_folder) PlaceEarlierOutputs(capture);
    const auto names = Names();
    window.SetLabel1Caption("earlier caption");
    window.SetDisplayText("earlier display");

    EXPECT_FALSE(OpenCapture(state, window, capture));
    EXPECT_EQ(window.Errors(), std::vector<std::string>{message});
    EXPECT_EQ(state.CaptureFileName, "");
    EXPECT_EQ(window.DisplayText(), "");
    EXPECT_EQ(window.Label1(), "");
    EXPECT_EQ(window.Label2(), "");
    EXPECT_FALSE(window.Busy());

    window.ClearErrors();
    window.SetCheck1(!window.Check1());
    EXPECT_FALSE(Check1Clicked(state, window));
    EXPECT_EQ(window.Errors(), std::vector<std::string>());

    state.CaptureFileName = capture;
    window.SetLabel2Caption("File: " + capture);

    for (const WriteCommand& c : kWriteCommands) {
      window.ClearErrors();
      EXPECT_FALSE(RunWriteCommand(state, window, c)) << c.caption;
      const std::string out = DeriveOutputName(capture, c.extension);
      EXPECT_EQ(window.Errors(),
                std::vector<std::string>{message + " Nothing was written to \"" + out + "\"."});
      EXPECT_EQ(window.Label2(), "File: " + capture);
    }
    if (output_folder) ExpectEarlierOutputs(capture);
    EXPECT_EQ(Names(), names);
    EXPECT_FALSE(window.Busy());
    ExpectWindowUsable();
  }

  DecoderState state;
  HookWindow window;
  std::string good;
};

TEST_F(CommandsFaultTest, CapturesThatCannotBeOpened) {
  const std::string missing = PathOf("missing.kss");
  ExpectUnreadable(missing,
                   "Cannot read the capture \"" + missing + "\": No such file or directory.");

  const std::string folder = PathOf("folder.kss");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ExpectUnreadable(folder,
                   "Cannot read the capture \"" + folder + "\": it is a folder, not a file.");

  // A path through a file: no user, root included, can open it.
  const std::string through_file = good + "/pass1.kss";
  ExpectUnreadable(through_file,
                   "Cannot read the capture \"" + through_file + "\": Not a directory.",
                   /*output_folder=*/false);

  const std::string too_long_name = PathOf(std::string(300, 'k') + ".kss");
  ExpectUnreadable(too_long_name,
                   "Cannot read the capture \"" + too_long_name + "\": File name too long.",
                   /*output_folder=*/false);

  // Without read permission (root reads every file, so only as another user).
  if (::geteuid() != 0) {
    const std::string locked = WriteCapture("locked.kss", kGood);
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ExpectUnreadable(locked, "Cannot read the capture \"" + locked + "\": Permission denied.");
  }
}

// A capture that opens but fails while it is read, as a failing disk does: reading this
// process's memory at address 0 gives an I/O error, also for root.
TEST_F(CommandsFaultTest, ACaptureThatFailsWhileItIsRead) {
  const std::string capture = "/proc/self/mem";
  const std::string message = "Cannot read the capture \"/proc/self/mem\": Input/output error.";
  EXPECT_FALSE(OpenCapture(state, window, capture));
  EXPECT_EQ(window.Errors(), std::vector<std::string>{message});
  EXPECT_FALSE(window.Busy());

  EXPECT_EQ(state.CaptureFileName, "");

  const std::string out = PathOf("mem.hex");
  WriteFile(out, "earlier");
  window.ClearErrors();
  state.CaptureFileName = capture;
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0], out));
  EXPECT_EQ(window.Errors(),
            std::vector<std::string>{message + " Nothing was written to \"" + out + "\"."});
  EXPECT_EQ(ReadFile(out), "earlier");
  EXPECT_EQ(Names(), (std::set<std::string>{"good.kss", "mem.hex"}));
  ExpectWindowUsable();
}

// Frames of 103 bytes stored back to back (C0 00, 100 times 41, C0), n bytes in all: the last
// one is cut off when n is no multiple of 103.
std::string Frames(std::size_t n) {
  std::string frame = Hex("C0 00") + std::string(100, 'A') + Hex("C0");
  std::string out;
  while (out.size() < n) out += frame;
  out.resize(n);
  return out;
}

// The Label1 caption after a pass over Frames(n).
std::string FramesCaption(std::size_t n) {
  const std::size_t rest = n % 103;
  return std::to_string(n / 103 + (rest > 0 ? 1 : 0)) + " frames / " +
         std::to_string(n / 103 * 101 + (rest > 0 ? rest - 1 : 0)) + " bytes";
}

// The reader holds the capture open: what happens to the file's name meanwhile does not matter,
// and a file cut short is read as far as it reaches, as if it had been that short.
TEST_F(CommandsFaultTest, ACaptureThatShrinksOrVanishesDuringThePass) {
  const std::size_t size = 3 << 20;            // read in three blocks
  const std::size_t cut = (3 << 20) / 2 + 60;  // inside a frame
  ASSERT_EQ(cut % 103, 11u);
  const std::string capture = WriteCapture("big.kss", Frames(size));
  WriteCapture("short.kss", Frames(cut));

  state.CaptureFileName = PathOf("short.kss");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  const std::string expected = ReadFile(PathOf("short.hex"));
  ASSERT_EQ(expected.size(), 2 * 302 + (cut / 103) * (3 * 101 + 2) + 3 * 10 + 2);

  state.CaptureFileName = capture;
  int calls = 0;
  window.on_progress = [&](std::int64_t done, std::int64_t) {
    if (++calls == 1) {
      EXPECT_EQ(done, 1 << 20);
      ASSERT_EQ(::truncate(capture.c_str(), static_cast<off_t>(cut)), 0);
    }
  };
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  EXPECT_EQ(ReadFile(PathOf("big.hex")), expected);
  EXPECT_EQ(window.Label1(), FramesCaption(cut));
  EXPECT_EQ(window.Errors(), std::vector<std::string>());

  // Removed during the pass: the pass still reads the whole file.
  WriteCapture("big.kss", Frames(size));
  window.on_progress = [&](std::int64_t, std::int64_t) { ::unlink(capture.c_str()); };
  ASSERT_TRUE(OpenCapture(state, window, capture));
  EXPECT_EQ(window.Label1(), FramesCaption(size));
  EXPECT_FALSE(FileExists(capture));
  window.on_progress = nullptr;
  // ...and is gone for the next command.
  window.SetCheck1(true);
  Check1Clicked(state, window);
  EXPECT_EQ(window.Errors(), std::vector<std::string>{"Cannot read the capture \"" + capture +
                                                      "\": No such file or directory."});
  ExpectWindowUsable();
}

TEST_F(CommandsFaultTest, AnOutputFolderThatIsMissing) {
  // The output named on purpose into a folder that does not exist.
  state.CaptureFileName = good;
  const std::string nowhere = PathOf("nowhere/good.hex");
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0], nowhere));
  EXPECT_FALSE(WriteLogfile(state, window, PathOf("nowhere/good.log")));
  EXPECT_EQ(window.Errors(), (std::vector<std::string>{
                                 "Cannot write \"" + nowhere + "\": No such file or directory.",
                                 "Cannot write \"" + PathOf("nowhere/good.log") +
                                     "\": No such file or directory."}));

  // The capture's folder removed after the capture was shown: the commands that read the
  // capture say that it is gone (its error comes first); the dump of the display has no folder.
  ASSERT_EQ(::mkdir(PathOf("sub").c_str(), 0755), 0);
  const std::string capture = WriteCapture("sub/pass1.kss", kGood);
  ASSERT_TRUE(OpenCapture(state, window, capture));
  std::filesystem::remove_all(PathOf("sub"));
  window.ClearErrors();
  for (const WriteCommand& c : kWriteCommands) {
    EXPECT_FALSE(RunWriteCommand(state, window, c)) << c.caption;
  }
  EXPECT_FALSE(WriteLogfile(state, window));
  ASSERT_EQ(window.Errors().size(), 6u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(window.Errors()[i].rfind("Cannot read the capture \"" + capture +
                                           "\": No such file or directory. Nothing was written",
                                       0),
              0u)
        << window.Errors()[i];
  }
  EXPECT_EQ(window.Errors()[5],
            "Cannot write \"" + PathOf("sub/pass1.log") + "\": No such file or directory.");
  EXPECT_EQ(window.Label2(), "File: " + capture);
  EXPECT_EQ(Names(), (std::set<std::string>{"good.kss"}));
  ExpectWindowUsable();
}

TEST_F(CommandsFaultTest, AnOutputFolderThatVanishesDuringThePass) {
  const std::string capture = WriteCapture("big.kss", Frames(3 << 20));
  const std::string folder = PathOf("out");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  state.CaptureFileName = capture;
  window.on_progress = [&](std::int64_t, std::int64_t) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  };
  const std::string out = folder + "/big.hex";
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0], out));
  EXPECT_EQ(window.Errors(),
            std::vector<std::string>{"Cannot write \"" + out +
                                     "\": No such file or directory. Nothing was written to \"" +
                                     out + "\"."});
  EXPECT_EQ(Names(), (std::set<std::string>{"good.kss", "big.kss"}));
  window.on_progress = nullptr;
  ExpectWindowUsable();
}

// Output that fails midway (a full disk, an I/O error) or comes back in pieces.
TEST_F(CommandsFaultTest, WritesThatFail) {
  // About 1.2 MB of hex text: more than the output buffer, so a part reaches the disk before
  // the pass ends.
  const std::string capture = WriteCapture("pass1.kss", Frames(400000));
  const std::string hex = PathOf("pass1.hex");
  const std::string log = PathOf("pass1.log");
  state.CaptureFileName = capture;
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  const std::string full_output = ReadFile(hex);
  ASSERT_GT(full_output.size(), 1u << 20);
  ASSERT_TRUE(OpenCapture(state, window, capture));
  ASSERT_TRUE(WriteLogfile(state, window));
  const std::string full_log = ReadFile(log);
  WriteFile(hex, "earlier hex");
  WriteFile(log, "earlier log");
  const auto names = Names();
  window.SetLabel2Caption("earlier caption");

  struct Fault {
    int error;
    int good_writes;
    std::string reason;
  };
  for (const Fault& f :
       {Fault{ENOSPC, 1, "No space left on device"}, Fault{EIO, 0, "Input/output error"},
        Fault{EFBIG, 1, "File too large"}, Fault{EDQUOT, 0, "Disk quota exceeded"}}) {
    SCOPED_TRACE(f.reason);
    testing::FailingDevice device(f.good_writes, f.error);
    state.Device = &device;
    window.ClearErrors();
    EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0]));
    EXPECT_EQ(window.Errors(),
              std::vector<std::string>{"Cannot write \"" + hex + "\": " + f.reason +
                                       ". Nothing was written to \"" + hex + "\"."});
    EXPECT_EQ(device.writes, f.good_writes + 1);
    device = testing::FailingDevice(f.good_writes, f.error);
    window.ClearErrors();
    ASSERT_TRUE(ShowCapture(state, window));
    EXPECT_FALSE(WriteLogfile(state, window));
    EXPECT_EQ(window.Errors().size(), 1u);
    EXPECT_EQ(ReadFile(hex), "earlier hex");
    EXPECT_EQ(ReadFile(log), "earlier log");
    EXPECT_EQ(Names(), names);
    EXPECT_EQ(window.Label2(), "earlier caption");
    EXPECT_FALSE(window.Busy());
  }

  // A write that writes nothing at all counts as a full disk.
  testing::FailingDevice writes_nothing(0, 0);
  state.Device = &writes_nothing;
  window.ClearErrors();
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(window.Errors(), std::vector<std::string>{"Cannot write \"" + hex +
                                                      "\": No space left on device. Nothing was "
                                                      "written to \"" +
                                                      hex + "\"."});
  EXPECT_EQ(ReadFile(hex), "earlier hex");

  // Writes taken in small pieces and interrupted by signals still give the whole file.
  testing::FailingDevice short_writes;
  short_writes.max_chunk = 777;
  short_writes.interrupt_every = 3;  // now and then a signal arrives
  state.Device = &short_writes;
  window.ClearErrors();
  EXPECT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(hex), full_output);
  EXPECT_GT(short_writes.writes, 1000);
  ASSERT_TRUE(ShowCapture(state, window));
  EXPECT_TRUE(WriteLogfile(state, window));
  EXPECT_EQ(ReadFile(log), full_log);
  EXPECT_EQ(window.Errors(), std::vector<std::string>());

  // The disk has room again: the same command writes the file.
  state.Device = nullptr;
  WriteFile(hex, "earlier hex");
  EXPECT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(hex), full_output);
  EXPECT_EQ(Names(), names);
}

// A FIFO as output whose reader goes away: the write fails with a message, the program does not
// die of SIGPIPE.
TEST_F(CommandsFaultTest, AnOutputPipeThatNobodyReads) {
  state.CaptureFileName = WriteCapture("pass1.kss", Frames(400000));  // over 1 MB of output
  const std::string fifo = PathOf("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { ::close(::open(fifo.c_str(), O_RDONLY)); });
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0], fifo));
  reader.join();
  EXPECT_EQ(window.Errors(),
            std::vector<std::string>{"Cannot write \"" + fifo +
                                     "\": Broken pipe. Nothing was written to \"" + fifo + "\"."});
  ExpectWindowUsable();
}

// Every way the output's name can lead back to the capture: the commands refuse, the capture
// stays whole.
TEST_F(CommandsFaultTest, OutputNamesThatAreTheCapture) {
  const std::string capture = WriteCapture("pass1.kss", kGood);
  ASSERT_EQ(::symlink(capture.c_str(), PathOf("pass1.hex").c_str()), 0);
  ASSERT_EQ(::link(capture.c_str(), PathOf("pass1.txt").c_str()), 0);
  ASSERT_EQ(::symlink("pass1.hex", PathOf("pass1.log").c_str()), 0);  // a link to a link
  state.CaptureFileName = capture;
  auto refused = [&](const std::string& out) {
    return std::vector<std::string>{"\"" + out +
                                    "\" was not written: it is the capture itself, which the "
                                    "command reads."};
  };
  for (const WriteCommand& c : kWriteCommands) {
    window.ClearErrors();
    EXPECT_FALSE(RunWriteCommand(state, window, c)) << c.caption;
    EXPECT_EQ(window.Errors(), refused(DeriveOutputName(capture, c.extension)));
  }
  window.ClearErrors();
  EXPECT_FALSE(WriteLogfile(state, window));
  EXPECT_EQ(window.Errors(), refused(PathOf("pass1.log")));
  // A name of its own that reaches the capture through a folder.
  ASSERT_EQ(::mkdir(PathOf("sub").c_str(), 0755), 0);
  const std::string roundabout = PathOf("sub/../pass1.kss");
  window.ClearErrors();
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[2], roundabout));
  EXPECT_EQ(window.Errors(), refused(roundabout));

  EXPECT_EQ(ReadFile(capture), kGood);
  EXPECT_TRUE(std::filesystem::is_symlink(PathOf("pass1.hex")));
  EXPECT_EQ(Names(), (std::set<std::string>{"good.kss", "pass1.kss", "pass1.hex", "pass1.txt",
                                            "pass1.log", "sub"}));
  ExpectWindowUsable();
}

// A frame longer than the longest one allowed ends the pass: the frames before it stay shown,
// nothing is written, and the next capture opens as usual.
TEST_F(CommandsFaultTest, AFrameTooLong) {
  const std::string capture =
      WriteCapture("long.kss", Hex("C0 00 41 C0") + "\xC0" + std::string(100000, '\xDB'));
  const std::string message = "Frame 2 at byte offset 4 of \"" + capture +
                              "\" is longer than 65535 bytes; the pass "
                              "stopped there.";
  EXPECT_FALSE(OpenCapture(state, window, capture));
  EXPECT_EQ(window.Errors(), std::vector<std::string>{message});
  EXPECT_EQ(window.Label1(), "1 frames / 2 bytes");
  EXPECT_EQ(window.Display().LineText(1), "000 > C0 00 41 C0 ");
  EXPECT_EQ(window.DisplayText().find("000 > C0 DB"), std::string::npos);
  EXPECT_FALSE(window.Busy());

  PlaceEarlierOutputs(capture);
  for (const WriteCommand& c : kWriteCommands) {
    window.ClearErrors();
    EXPECT_FALSE(RunWriteCommand(state, window, c));
    EXPECT_EQ(window.Errors(),
              std::vector<std::string>{message + " Nothing was written to \"" +
                                       DeriveOutputName(capture, c.extension) + "\"."});
  }
  ExpectEarlierOutputs(capture);
  ExpectWindowUsable();
}

// Captures without a single proper frame.
TEST_F(CommandsFaultTest, CapturesOfNothingButDelimitersOrEscapes) {
  const std::string header = [] {
    const auto h = ColumnHeader();
    return h[0] + "\r\n" + h[1] + "\r\n";
  }();
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };

  state.CaptureFileName = WriteCapture("empty.kss", "");
  window.SetLabel1Caption("earlier caption");
  ASSERT_TRUE(ShowCapture(state, window));
  EXPECT_EQ(window.DisplayText(), "");
  EXPECT_EQ(window.Label1(), "earlier caption");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  EXPECT_EQ(ReadFile(PathOf("empty.hex")), header);
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[4]));
  EXPECT_EQ(ReadFile(PathOf("empty.txt")), "");

  // 1001 FENDs: 500 empty frames and one that the end of the file cuts off.
  state.CaptureFileName = WriteCapture("fends.kss", std::string(1001, '\xC0'));
  ASSERT_TRUE(ShowCapture(state, window));
  EXPECT_EQ(window.Label1(), "501 frames / 0 bytes");
  const std::string empty_block =
      "\r\n000 > C0 C0 \r\n\r\n\xC0\xC0\r\n" + std::string(80, '_') + "\r\n";
  EXPECT_EQ(window.DisplayText(), repeat(empty_block, 500) + "\r\n000 > C0 \r\n\r\n\xC0\r\n" +
                                      std::string(80, '_') + "\r\n");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(PathOf("fends.hex")), header + repeat("C0 C0 \r\n", 500) + "C0 \r\n");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[3]));
  EXPECT_EQ(ReadFile(PathOf("fends.hex")), repeat(": \r\n", 501));

  // FESCs only: no FEND, so nothing but skipped bytes.
  state.CaptureFileName = WriteCapture("fescs.kss", std::string(100000, '\xDB'));
  ASSERT_TRUE(ShowCapture(state, window));
  EXPECT_EQ(window.DisplayText(), "");
  EXPECT_EQ(window.Label1(), "501 frames / 0 bytes");  // the caption of the last frame met
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(PathOf("fescs.hex")), header);
  EXPECT_EQ(window.Errors(), std::vector<std::string>());
  ExpectWindowUsable();
}

// Random bytes: whatever they hold, every command runs to its end, and each file layout has one
// line per frame that is not a timestamp frame.
TEST_F(CommandsFaultTest, RandomBinaryFiles) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 6; ++round) {
    std::string bytes(std::uniform_int_distribution<std::size_t>(0, 200000)(random), '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    if (round % 2 == 1) {  // frames more often
      for (std::size_t i = 0; i < bytes.size(); i += 1 + random() % 40) bytes[i] = '\xC0';
    }
    const std::string capture = WriteCapture("random.bin", bytes);
    SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(bytes.size()) + " bytes");
    testing::FrameRecorder recorder;
    state.Observer = &recorder;
    ASSERT_TRUE(OpenCapture(state, window, capture));
    state.Observer = nullptr;
    std::int64_t shown = 0;
    for (const auto& f : recorder.frames) shown += f.info.timestamp ? 0 : 1;
    EXPECT_EQ(static_cast<std::int64_t>(recorder.frames.size()), state.FrameCount);

    for (bool check1 : {true, false}) {
      window.SetCheck1(check1);
      Check1Clicked(state, window);
      EXPECT_EQ(window.Display().LineCount() > 1, shown > 0);
    }
    for (const WriteCommand& c : kWriteCommands) {
      ASSERT_TRUE(RunWriteCommand(state, window, c)) << c.caption;
      const std::string out = ReadFile(DeriveOutputName(capture, c.extension));
      std::int64_t lines = 0;
      for (std::size_t at = out.find("\r\n"); at != std::string::npos;
           at = out.find("\r\n", at + 2)) {
        ++lines;
      }
      EXPECT_EQ(lines, shown + (c.with_header ? 2 : 0)) << c.caption;
    }
    ASSERT_TRUE(WriteLogfile(state, window));
    EXPECT_EQ(window.Errors(), std::vector<std::string>());
  }
  ExpectWindowUsable();
}

}  // namespace
}  // namespace packscope
