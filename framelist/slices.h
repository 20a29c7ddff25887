// Work split into slices that run at once, one thread each, for the passes over an index.
#ifndef PACKSCOPE_FRAMELIST_SLICES_H_
#define PACKSCOPE_FRAMELIST_SLICES_H_

#include <cstdint>
#include <functional>

namespace packscope {

inline constexpr int kMostSlices = 4;

// The slices for items items on a machine of cores cores (0: not known): one a core, at most
// kMostSlices, and at least least items a slice (always one slice at least).
int SliceCount(std::int64_t items, std::int64_t least, unsigned cores);

// Runs body(slice) for every slice from 0 to slices - 1 at once: slice 0 on the calling thread,
// each other on a thread of its own. Once slice 0 is done, waiting (when given) is called on the
// calling thread every 50 ms until the others are. An exception a slice throws is thrown again
// here once every slice has ended.
void RunInSlices(int slices, const std::function<void(int slice)>& body,
                 const std::function<void()>& waiting = {});

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_SLICES_H_
