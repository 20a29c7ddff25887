// ListFrames over slices of the index at once. A slice's frames are listed as a single pass
// lists them: the filter and the index are read-only, each slice has its own reader and APRS
// decoder, and the telemetry definitions sent before a slice are decoded first.
#include <atomic>

#include "framelist/frame_passes.h"
#include "framelist/slices.h"

namespace packscope {
namespace {

struct Slice {
  std::int64_t from = 0;
  std::int64_t to = 0;
  std::vector<std::int64_t> rows;
  std::int64_t unheld = 0;
  PassEnd end = PassEnd::kDone;
  std::atomic<std::int64_t> done{0};
};

}  // namespace

int ListingSlices(std::int64_t frames, unsigned cores) {
  return SliceCount(frames, kMinSliceFrames, cores);
}

PassEnd ListFramesInSlices(int slices, const IndexSnapshot& snapshot, std::int64_t from,
                           std::int64_t to, const Filter* filter, std::vector<std::int64_t>& rows,
                           std::int64_t* unheld, const std::atomic<bool>* cancel,
                           const PassProgress& progress, const DefinitionFrames& definitions,
                           const SessionTable* sessions, const MergedCapture* merged) {
  const std::int64_t total = to - from;
  if (filter == nullptr || slices <= 1 || total < slices) {
    return ListFrames(snapshot, from, to, filter, rows, unheld, cancel, progress, definitions,
                      sessions, merged);
  }
  std::vector<Slice> parts(static_cast<std::size_t>(slices));
  for (std::size_t k = 0; k < parts.size(); ++k) {
    parts[k].from = from + total * static_cast<std::int64_t>(k) / slices;
    parts[k].to = from + total * static_cast<std::int64_t>(k + 1) / slices;
  }
  const auto done_so_far = [&parts] {
    std::int64_t done = 0;
    for (const Slice& part : parts) done += part.done.load(std::memory_order_relaxed);
    return done;
  };
  RunInSlices(
      slices,
      [&](int k) {
        Slice& part = parts[static_cast<std::size_t>(k)];
        part.end = ListFrames(
            snapshot, part.from, part.to, filter, part.rows, &part.unheld, cancel,
            [&, k](std::int64_t done, std::int64_t) {
              part.done.store(done, std::memory_order_relaxed);
              if (k == 0 && progress) progress(done_so_far(), total);
            },
            definitions, sessions, merged);
        part.done.store(part.to - part.from, std::memory_order_relaxed);
      },
      [&] {
        if (progress) progress(done_so_far(), total);
      });

  // The slices in capture order, up to the first one cancelled (its rows are those it listed).
  std::size_t kept = 0;
  std::size_t size = 0;
  PassEnd end = PassEnd::kDone;
  while (kept < parts.size()) {
    size += parts[kept].rows.size();
    if (unheld != nullptr) *unheld += parts[kept].unheld;
    if (parts[kept++].end == PassEnd::kCancelled) {
      end = PassEnd::kCancelled;
      break;
    }
  }
  rows.reserve(rows.size() + size);
  for (std::size_t k = 0; k < kept; ++k) {
    rows.insert(rows.end(), parts[k].rows.begin(), parts[k].rows.end());
    std::vector<std::int64_t>().swap(parts[k].rows);
  }
  return end;
}

}  // namespace packscope
