#include "support/test_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace packscope::testing {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string Hex(const std::string& hex_text) {
  std::string out;
  std::istringstream in(hex_text);
  std::string group;
  while (in >> group) out.push_back(static_cast<char>(std::stoi(group, nullptr, 16)));
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

void TempDirTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "packscope-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
}

void TempDirTest::TearDown() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> TempDirTest::FileNames() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string TempDirTest::WriteCapture(const std::string& name, const std::string& bytes) const {
  const std::string path = PathOf(name);
  WriteFile(path, bytes);
  return path;
}

}  // namespace packscope::testing
