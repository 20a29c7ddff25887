#include "commands/capture_view.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "capture/errors.h"
#include "capture/output_file.h"

namespace packscope {
namespace {

constexpr std::size_t kStreamBlock = 1 << 20;
constexpr int kStreamWaitMs = 50;

// Read as it comes, once: what is neither a regular file, nor a block device (read like a file),
// nor a folder (which the index reports as such).
bool IsStream(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISBLK(st.st_mode);
}

}  // namespace

// A stream's reading: where its bytes go, and how it ended.
struct CaptureView::StreamCopy {
  ~StreamCopy() {
    if (fd >= 0) ::close(fd);
  }
  std::unique_ptr<ScratchFile> file;
  int fd = -1;  // the stream while it is read
  std::int64_t read = 0;
  std::optional<IndexResult> ended;
};

CaptureView::CaptureView(const Window& window) : screen_(window), log_(window) {}

CaptureView::~CaptureView() = default;

void CaptureView::Open(std::string path) {
  Close();
  path_ = std::move(path);
  stream_ = IsStream(path_);
  if (!stream_) {
    index_ = std::make_unique<FrameIndex>(path_);
  } else {
    copy_ = std::make_unique<StreamCopy>();
    try {
      copy_->file = std::make_unique<ScratchFile>("stream");
      index_ = std::make_unique<FrameIndex>(copy_->file->Path());
    } catch (const CommandError& e) {
      copy_->ended = IndexResult{IndexStatus::kUnreadable,
                                 "Cannot read the capture " + Quoted(path_) + ": " + e.what()};
    }
  }
  Update(0);
}

void CaptureView::Close() {
  index_.reset();
  copy_.reset();
  path_.clear();
  stream_ = false;
  last_status_.reset();
  Update(0);
}

std::string CaptureView::ReadPath() const {
  if (!stream_) return path_;
  return copy_ != nullptr && copy_->file != nullptr ? copy_->file->Path() : std::string();
}

IndexResult CaptureView::ReadOn(const std::atomic<bool>* cancel,
                                const FrameIndex::Progress& progress) {
  IndexResult result;
  if (stream_) {
    result = ReadStream(cancel, progress);
  } else if (index_ != nullptr) {
    result = index_->Extend(cancel, progress);
  } else {
    result = {IndexStatus::kUnreadable, "Cannot read the capture: no file name was given."};
  }
  last_status_ = result.status;
  return result;
}

IndexResult CaptureView::ReadStream(const std::atomic<bool>* cancel,
                                    const FrameIndex::Progress& progress) {
  StreamCopy& s = *copy_;
  if (s.ended) return *s.ended;
  const auto end = [&s](IndexResult result) {
    ::close(s.fd);
    s.fd = -1;
    s.ended = result;
    return result;
  };
  const auto failed = [&](int error_number) {
    return end({IndexStatus::kUnreadable,
                ErrnoMessage("Cannot read the capture " + Quoted(path_), error_number)});
  };
  if (s.fd < 0) {
    // Without O_NONBLOCK, opening a FIFO waits for its writer.
    s.fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (s.fd < 0) return failed(errno);
  }
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kStreamBlock]);
  try {
    for (;;) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        return end({IndexStatus::kCancelled, {}});
      }
      pollfd ready{s.fd, POLLIN, 0};
      const int n_ready = ::poll(&ready, 1, kStreamWaitMs);
      if (n_ready < 0 && errno != EINTR) return failed(errno);
      if (n_ready > 0) {
        const ssize_t n = ::read(s.fd, buffer.get(), kStreamBlock);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          return failed(errno);
        }
        if (n == 0) return end(Named(index_->Extend()));  // the writer has gone: the end
        if (n > 0) {
          s.file->Append(buffer.get(), static_cast<std::size_t>(n));
          s.read += n;
          const IndexResult indexed = Named(index_->Extend());
          if (indexed.status != IndexStatus::kAtEnd) return end(indexed);
        }
      }
      if (progress) progress(s.read, -1);
    }
  } catch (const CommandError& e) {  // the copy could not be written
    return end(
        {IndexStatus::kUnreadable, "Cannot read the capture " + Quoted(path_) + ": " + e.what()});
  }
}

IndexResult CaptureView::Named(IndexResult result) const {
  const std::string copy = Quoted(copy_->file->Path());
  const std::string shown = Quoted(path_);
  for (std::size_t at = result.message.find(copy); at != std::string::npos;
       at = result.message.find(copy, at + shown.size())) {
    result.message.replace(at, copy.size(), shown);
  }
  return result;
}

bool CaptureView::Update(std::int64_t budget) {
  const IndexSnapshot snapshot = index_ != nullptr ? index_->Snapshot() : IndexSnapshot();
  const bool screen = screen_.Update(snapshot, budget);
  const bool log = log_.Update(snapshot, budget);
  return screen && log;
}

CaptureView::FramePlace CaptureView::PlaceOf(std::int64_t top_line, std::int64_t sel_begin,
                                             std::int64_t sel_end) const {
  FramePlace place;
  const BlockText::Place top = screen_.BlockOfLine(top_line);
  place.top_frame = top.block;
  place.top_line = top_line - top.line;
  const BlockText::Place begin = screen_.BlockOfOffset(sel_begin);
  place.begin_frame = begin.block;
  place.begin_offset = sel_begin - begin.offset;
  const BlockText::Place end = screen_.BlockOfOffset(sel_end);
  place.end_frame = end.block;
  place.end_offset = sel_end - end.offset;
  return place;
}

CaptureView::TextPlace CaptureView::TextPlaceOf(const FramePlace& place) const {
  const std::int64_t blocks = screen_.BlockOfOffset(screen_.Size()).block;
  // Where a frame's block begins, and its shape (none past the last block).
  const auto block = [&](std::int64_t frame) {
    const std::int64_t b = std::clamp<std::int64_t>(frame, 0, blocks);
    return std::pair{screen_.BlockPlace(b), b < blocks ? screen_.BlockShape(b) : TextShape{}};
  };
  const auto offset = [&](std::int64_t frame, std::int64_t in_block) {
    const auto [at, shape] = block(frame);
    return at.offset + std::clamp<std::int64_t>(in_block, 0, shape.size);
  };
  TextPlace text;
  const auto [top, shape] = block(place.top_frame);
  text.top_line = top.line + std::clamp<std::int64_t>(place.top_line, 0,
                                                      std::max<std::int64_t>(shape.lines - 1, 0));
  text.sel_begin = offset(place.begin_frame, place.begin_offset);
  text.sel_end = std::max(text.sel_begin, offset(place.end_frame, place.end_offset));
  return text;
}

}  // namespace packscope
