#include "fuzz/merge_check.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "capture/errors.h"
#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "framelist/capture_merge.h"
#include "framelist/merged_source.h"
#include "fuzz/memory_capture.h"

namespace packscope::fuzz {
namespace {

constexpr int kCaptures = 3;

struct Packet {
  std::int32_t receiver;
  std::int64_t frame;
  std::vector<std::uint8_t> bytes;  // the first reception, un-escaped
  std::vector<Reception> heard;
};

// The frames of the merged capture and who heard each.
class Frames : public CaptureObserver {
 public:
  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) return;
    const std::span<const std::uint8_t> frame = KissFrame(state);
    Packet p{0, state.FrameCount, {frame.begin(), frame.end()}, {}};
    if (state.Receivers != nullptr) {
      p.heard.assign(state.Receivers->heard.begin(), state.Receivers->heard.end());
    } else {
      p.receiver = -1;
    }
    frames.push_back(std::move(p));
  }
  std::vector<Packet> frames;
};

std::string Rule(const MergeOptions& o) {
  if (o.order == MergeOrder::kFiles) return "files: ";
  switch (o.dupes) {
    case DupeRule::kAprs:
      return "aprs " + std::to_string(o.window_ms) + " ms: ";
    case DupeRule::kBytes:
      return "bytes: ";
    case DupeRule::kNone:
      break;
  }
  return "none: ";
}

std::string CheckOne(const std::vector<MergeInput>& inputs,
                     const std::array<std::int64_t, kCaptures>& radio, const MergeOptions& o) {
  const std::string rule = Rule(o);
  const std::string problem = MergeProblem(inputs, o);
  if (!problem.empty()) {
    if (o.order == MergeOrder::kTime && problem.find("has no timestamps") != std::string::npos) {
      return {};
    }
    return rule + "refused: " + problem;
  }
  std::vector<Packet> packets;
  std::int64_t total = 0;
  for (const std::int64_t n : radio) total += n;
  try {
    CaptureMerge merge(inputs, o);
    MergedPacket p;
    std::vector<std::int64_t> last_frame(kCaptures, -1);
    std::array<std::int64_t, kCaptures> heard_by{};
    while (merge.Next(p)) {
      if (p.heard.empty() || p.heard.front().receiver < 0) return rule + "a packet heard by none";
      for (std::size_t i = 0; i < p.heard.size(); ++i) {
        const Reception& r = p.heard[i];
        if (r.receiver >= kCaptures || (i > 0 && p.heard[i - 1].receiver >= r.receiver)) {
          return rule + "receivers not sorted and distinct";
        }
        if (r.receiver == p.receiver && r.offset_ms != 0) {
          return rule + "the first receiver's offset is not 0";
        }
        if (r.offset_ms > o.window_ms || -r.offset_ms > o.window_ms) {
          return rule + "an offset beyond the window";
        }
        ++heard_by[static_cast<std::size_t>(r.receiver)];
      }
      bool first_heard = false;
      for (const Reception& r : p.heard) first_heard = first_heard || r.receiver == p.receiver;
      if (!first_heard) return rule + "the first receiver is not among those that heard it";
      // Each capture's first receptions keep the capture's order.
      std::int64_t& last = last_frame[static_cast<std::size_t>(p.receiver)];
      if (p.first.number <= last) return rule + "a capture's frames out of their order";
      last = p.first.number;
      packets.push_back({p.receiver, p.first.number, p.first.frame, p.heard});
    }
    if (merge.FramesRead() != merge.FrameTotal()) return rule + "frames left unread";
    for (int c = 0; c < kCaptures; ++c) {
      if (heard_by[static_cast<std::size_t>(c)] > radio[static_cast<std::size_t>(c)]) {
        return rule + "a capture heard more packets than it has frames";
      }
    }
  } catch (const std::exception& e) {
    return rule + "threw: " + e.what();
  }
  const bool folds = o.dupes != DupeRule::kNone && o.order == MergeOrder::kTime;
  if (folds ? static_cast<std::int64_t>(packets.size()) > total
            : static_cast<std::int64_t>(packets.size()) != total) {
    return rule + std::to_string(packets.size()) + " packets of " + std::to_string(total) +
           " frames";
  }
  if (!folds) {
    for (const Packet& p : packets) {
      if (p.heard.size() != 1) return rule + "a frame heard by several without folding";
    }
  }
  if (o.order == MergeOrder::kFiles) {
    for (std::size_t i = 1; i < packets.size(); ++i) {
      const Packet& a = packets[i - 1];
      const Packet& b = packets[i];
      // Receivers are numbered by name: "0.kss" < "1.kss" < "2.kss", given in that order.
      if (a.receiver > b.receiver || (a.receiver == b.receiver && a.frame >= b.frame)) {
        return rule + "the captures not one after the other";
      }
    }
  }

  // The merged capture through the frame loop: a frame per packet, its bytes and receivers.
  Frames seen;
  try {
    MergedSource source(inputs, o);
    DecoderState state;
    state.CaptureFileName = "merge";
    state.Source = &source;
    state.OutputMode = kNoWindowOutput;
    state.Observer = &seen;
    HeadlessWindow window;
    ReadCapture(state, window);
  } catch (const std::exception& e) {
    return rule + "the merged capture threw: " + e.what();
  }
  if (seen.frames.size() != packets.size()) {
    return rule + "the merged capture holds " + std::to_string(seen.frames.size()) +
           " frames for " + std::to_string(packets.size()) + " packets";
  }
  for (std::size_t i = 0; i < packets.size(); ++i) {
    if (seen.frames[i].bytes != packets[i].bytes) {
      return rule + "packet " + std::to_string(i) + ": other bytes in the merged capture";
    }
    if (seen.frames[i].receiver < 0 || seen.frames[i].heard != packets[i].heard) {
      return rule + "packet " + std::to_string(i) + ": other receivers in the merged capture";
    }
  }
  return {};
}

}  // namespace

std::string CheckMerge(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return {};
  const std::uint8_t* bytes = data + 4;
  const std::size_t rest = size - 4;
  const std::size_t cut1 = std::min<std::size_t>(rest, data[0] | data[1] << 8);
  const std::size_t cut2 = std::min<std::size_t>(rest, cut1 + (data[2] | data[3] << 8));
  const std::array<std::size_t, kCaptures + 1> cuts = {0, cut1, cut2, rest};

  std::array<std::unique_ptr<MemoryCapture>, kCaptures> files;
  std::vector<std::unique_ptr<FrameIndex>> indexes;
  std::vector<MergeInput> inputs;
  std::array<std::int64_t, kCaptures> radio{};
  for (int c = 0; c < kCaptures; ++c) {
    const std::size_t from = cuts[static_cast<std::size_t>(c)];
    const std::size_t to = cuts[static_cast<std::size_t>(c) + 1];
    auto& file = files[static_cast<std::size_t>(c)];
    file = std::make_unique<MemoryCapture>();
    if (!file->Ok()) return std::string("memfd_create: ") + std::strerror(errno);
    if (!file->Write(bytes + from, 0, to - from)) return "cannot write the memory file";
    indexes.push_back(std::make_unique<FrameIndex>(file->Path()));
    indexes.back()->Extend();  // what it indexed, also when a frame too long ended it
    const IndexSnapshot snapshot = indexes.back()->Snapshot();
    for (std::int64_t f = 0; f < snapshot.FrameCount(); ++f) {
      radio[static_cast<std::size_t>(c)] += snapshot.Frame(f).Timestamp() ? 0 : 1;
    }
    inputs.push_back({std::to_string(c) + ".kss", snapshot});
  }
  const std::array<MergeOptions, 5> all = {{
      {DupeRule::kAprs, kDefaultDupeWindowMillis, MergeOrder::kTime},
      {DupeRule::kAprs, 0, MergeOrder::kTime},
      {DupeRule::kBytes, kDefaultDupeWindowMillis, MergeOrder::kTime},
      {DupeRule::kNone, kDefaultDupeWindowMillis, MergeOrder::kTime},
      {DupeRule::kNone, kDefaultDupeWindowMillis, MergeOrder::kFiles},
  }};
  for (const MergeOptions& o : all) {
    const std::string wrong = CheckOne(inputs, radio, o);
    if (!wrong.empty()) return wrong;
  }
  return {};
}

}  // namespace packscope::fuzz
