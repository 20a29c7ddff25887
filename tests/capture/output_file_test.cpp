#include "capture/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "capture/errors.h"
#include "support/failing_device.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::WriteFile;

class OutputFileTest : public testing::TempDirTest {
 protected:
  // Files in the folder other than the named ones: left-over temporary files.
  int FileCount() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Dir())) ++n;
    return n;
  }
};

TEST_F(OutputFileTest, WritesLinesAndPutsTheFileInPlaceOnCommit) {
  const std::string path = PathOf("out.hex");
  {
    OutputFile out(path);
    out.WriteLine("C0 00 ", "", "");
    out.WriteLine("a", ": ", "b");
    EXPECT_FALSE(FileExists(path));  // nothing there before the commit
    out.Commit();
  }
  EXPECT_EQ(ReadFile(path), "C0 00 \r\na: b\r\n");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, WithoutCommitAnEarlierFileStaysAsItWas) {
  const std::string path = PathOf("out.hex");
  WriteFile(path, "earlier");
  {
    OutputFile out(path);
    out.WriteLine(std::string(3 << 20, 'x'));  // more than the buffer: reaches the disk
  }
  EXPECT_EQ(ReadFile(path), "earlier");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, ReplacingKeepsThePermissionsOfTheEarlierFile) {
  const std::string path = PathOf("out.hex");
  WriteFile(path, "earlier");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  OutputFile out(path);
  out.WriteLine("new");
  out.Commit();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(path), "new\r\n");
}

TEST_F(OutputFileTest, AFullDiskLeavesTheEarlierFileAndNoTemporaryFile) {
  const std::string path = PathOf("out.hex");
  WriteFile(path, "earlier");
  testing::FailingDevice full_after_one_block(1, ENOSPC);
  try {
    OutputFile out(path, &full_after_one_block);
    out.Write(std::string(3 << 20, 'x'));
    out.Commit();
    FAIL() << "no error";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot write \"" + path + "\": No space left on device.");
  }
  EXPECT_EQ(ReadFile(path), "earlier");
  EXPECT_EQ(FileCount(), 1);
}

TEST_F(OutputFileTest, FoldersThatDoNotExistOrAreNoFolders) {
  const std::string missing = PathOf("no/such/out.hex");
  try {
    OutputFile out(missing);
    FAIL();
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot write \"" + missing + "\": No such file or directory.");
  }
  try {
    OutputFile out(Dir());
    FAIL();
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot write \"" + Dir() + "\": it is a folder.");
  }
}

TEST_F(OutputFileTest, ALinkedTargetIsReplacedBehindTheLink) {
  const std::string real = PathOf("real.hex");
  const std::string link = PathOf("link.hex");
  WriteFile(real, "earlier");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  OutputFile out(link);
  out.WriteLine("new");
  out.Commit();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new\r\n");
}

TEST_F(OutputFileTest, AFifoIsWrittenIntoNotReplaced) {
  const std::string fifo = PathOf("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadFile(fifo); });
  {
    OutputFile out(fifo);
    out.WriteLine("through the pipe");
    out.Commit();
  }
  reader.join();
  EXPECT_EQ(received, "through the pipe\r\n");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(OutputFileTest, SameFileFollowsLinks) {
  const std::string a = WriteCapture("a.kss", "x");
  const std::string b = WriteCapture("b.kss", "x");
  const std::string link = PathOf("link");
  ASSERT_EQ(::symlink(a.c_str(), link.c_str()), 0);
  ASSERT_EQ(::link(b.c_str(), PathOf("hard").c_str()), 0);
  EXPECT_TRUE(SameFile(a, link));
  EXPECT_TRUE(SameFile(a, Dir() + "/./a.kss"));
  EXPECT_TRUE(SameFile(b, PathOf("hard")));
  EXPECT_FALSE(SameFile(a, b));
  EXPECT_FALSE(SameFile(a, PathOf("missing")));
  // Files that do not exist yet: one name in one folder, however spelt, also behind a dangling
  // link.
  ASSERT_EQ(::symlink("new.txt", PathOf("dangling").c_str()), 0);
  EXPECT_TRUE(
      SameFile(PathOf("new.txt"),
               Dir() + "/../" + std::filesystem::path(Dir()).filename().string() + "/new.txt"));
  EXPECT_TRUE(SameFile(PathOf("dangling"), PathOf("new.txt")));
  EXPECT_FALSE(SameFile(PathOf("new.txt"), PathOf("other.txt")));
  EXPECT_FALSE(SameFile(PathOf("no/new.txt"), PathOf("no/new.txt")));  // no such folder
}

// Names up to the longest the folder takes (255 bytes here): the temporary name is cut short.
TEST_F(OutputFileTest, TheLongestNamesCanBeWritten) {
  for (const std::size_t length : {247u, 248u, 254u, 255u}) {
    const std::string path = PathOf(std::string(length - 4, 'n') + ".hex");
    WriteFile(path, "earlier");
    OutputFile out(path);
    out.WriteLine("new");
    out.Commit();
    EXPECT_EQ(ReadFile(path), "new\r\n") << length;
  }
  EXPECT_EQ(FileCount(), 4);
}

// Running as root (as CI does): the replacement keeps the owner and group of the file it
// replaces, and never a set-ID or sticky bit, which would now belong to a file of that owner
// written by someone else.
TEST_F(OutputFileTest, ReplacingKeepsOwnerAndGroupButNoSetIdBits) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  const std::string path = PathOf("out.hex");
  WriteFile(path, "earlier");
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(path.c_str(), 07757), 0);
  OutputFile out(path);
  out.WriteLine("new");
  out.Commit();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 07777, 0757u);
  EXPECT_EQ(ReadFile(path), "new\r\n");
}

// A link of another user in a folder everyone may write to (sticky, as /tmp) may have been
// planted to make us replace a file elsewhere: it is not followed. Our own links and those of the
// folder's owner are.
TEST_F(OutputFileTest, ALinkPlantedInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link of another user";
  constexpr uid_t kNobody = 65534;
  const std::string shared = PathOf("shared");
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string victim = WriteCapture("victim", "precious");
  const std::string planted = shared + "/out.hex";
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(::lchown(planted.c_str(), kNobody, kNobody), 0);
  try {
    OutputFile out(planted);
    FAIL() << "followed";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot write \"" + planted +
                  "\": it is a symbolic link of another user in a folder that is not theirs; "
                  "it was not followed.");
  }
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(FileCount(), 2);
  // The same in a folder of another user that is not sticky.
  ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
  ASSERT_EQ(::chown(shared.c_str(), 1, 1), 0);
  EXPECT_THROW(OutputFile out(planted), CommandError);
  // The folder's owner's own link is followed, and so is ours.
  ASSERT_EQ(::chown(shared.c_str(), kNobody, kNobody), 0);
  {
    OutputFile out(planted);
    out.WriteLine("new");
    out.Commit();
  }
  EXPECT_EQ(ReadFile(victim), "new\r\n");
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
  {
    OutputFile out(planted);
    out.WriteLine("ours");
    out.Commit();
  }
  EXPECT_EQ(ReadFile(victim), "ours\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(planted));
}

}  // namespace
}  // namespace packscope
