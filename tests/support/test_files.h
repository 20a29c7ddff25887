// Test support: a temporary folder per test, capture files written from bytes, files read back.
#ifndef PACKSCOPE_TESTS_SUPPORT_TEST_FILES_H_
#define PACKSCOPE_TESTS_SUPPORT_TEST_FILES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "capture/frame_loop.h"

namespace packscope::testing {

// Bytes from a list of values: Bytes({0xC0, 0x00, 0x41, 0xC0}).
std::string Bytes(std::initializer_list<int> values);
// Bytes from hex text with blanks: Hex("C0 00 41 C0").
std::string Hex(const std::string& hex_text);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The lines of a text, without their line feeds (a CR before one stays).
std::vector<std::string> Lines(const std::string& text);

// A fresh folder under the system's temporary folder, removed with the fixture.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Path of name inside the folder.
  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
  // Writes a capture of these bytes and returns its path.
  std::string WriteCapture(const std::string& name, const std::string& bytes) const;
  const std::string& Dir() const { return dir_; }
  // The names in the folder, sorted (hidden ones included).
  std::vector<std::string> FileNames() const;

 private:
  std::string dir_;
};

// What a pass handed on, frame by frame, and what it skipped.
struct RecordedFrame {
  std::string raw_hex;
  std::string frame_hex;
  std::int32_t length = 0;
  std::int64_t offset = 0;
  FrameInfo info;
  std::string payload_hex;
  std::string stamp_text;
};

class FrameRecorder : public CaptureObserver {
 public:
  void OnSkipped(std::int64_t offset, std::int64_t count) override {
    skipped.push_back({offset, count});
  }
  void OnStrayEscape(std::int64_t offset) override { stray_escapes.push_back(offset); }
  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    frames.push_back({state.RawHex, state.FrameHex, state.FrameLength, state.FrameOffset, info,
                      state.PayloadHex, state.StampText});
  }
  std::vector<RecordedFrame> frames;
  std::vector<std::pair<std::int64_t, std::int64_t>> skipped;
  std::vector<std::int64_t> stray_escapes;
};

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_SUPPORT_TEST_FILES_H_
