#include "commands/capture_view.h"

#include <algorithm>

namespace packscope {

CaptureView::CaptureView(const Window& window) : screen_(window), log_(window) {}

CaptureView::~CaptureView() = default;

void CaptureView::Open(std::string path) {
  Close();
  path_ = std::move(path);
  index_ = std::make_unique<InputIndex>(path_, free_space_);
  Update(0);
}

void CaptureView::Close() {
  index_.reset();
  path_.clear();
  last_status_.reset();
  Update(0);
}

std::string CaptureView::ReadPath() const {
  if (index_ == nullptr || !index_->Copied()) return path_;
  return index_->CopyPath();
}

IndexResult CaptureView::ReadOn(const std::atomic<bool>* cancel,
                                const FrameIndex::Progress& progress) {
  IndexResult result = index_ != nullptr ? index_->Extend(cancel, progress)
                                         : IndexResult{IndexStatus::kUnreadable,
                                                       "Cannot read the capture: no file name "
                                                       "was given."};
  last_status_ = result.status;
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
