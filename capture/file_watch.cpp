#include "capture/file_watch.h"

#include <sys/stat.h>

namespace packscope {

FileWatch::State FileWatch::Of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return State{};
  return State{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
               static_cast<std::int64_t>(st.st_size),
               static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void FileWatch::Remember(const std::string& path) { taken_ = Of(path); }

bool FileWatch::Changed(const std::string& path, std::int64_t read_size) const {
  const State now = Of(path);
  return now.size < 0 || !(now == taken_) || now.size != read_size;
}

}  // namespace packscope
