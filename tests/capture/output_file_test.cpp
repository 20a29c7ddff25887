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
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::WriteFile;

class OutputFileTest : public testing::TempDirTest {
 protected:
  void TearDown() override {
    OutputFile::SetWriteFunctionForTesting(nullptr);
    testing::TempDirTest::TearDown();
  }
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

ssize_t FullDiskAfterOneBlock(int fd, const void* data, std::size_t size) {
  static int calls = 0;
  if (++calls > 1) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, size);
}

TEST_F(OutputFileTest, AFullDiskLeavesTheEarlierFileAndNoTemporaryFile) {
  const std::string path = PathOf("out.hex");
  WriteFile(path, "earlier");
  OutputFile::SetWriteFunctionForTesting(FullDiskAfterOneBlock);
  try {
    OutputFile out(path);
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
  EXPECT_TRUE(SameFile(a, link));
  EXPECT_TRUE(SameFile(a, Dir() + "/./a.kss"));
  EXPECT_FALSE(SameFile(a, b));
  EXPECT_FALSE(SameFile(a, PathOf("missing")));
}

}  // namespace
}  // namespace packscope
