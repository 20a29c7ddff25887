// CheckMerge: an input cut into three captures, each a receiver, merged under every rule and
// order (framelist/capture_merge.h) and checked: without folding every radio frame of every
// capture comes out once, heard by its own capture alone, in time order the captures' own frames
// in their order and by files the captures one after the other; folding gives at most one packet
// per frame, each heard by its first receiver at offset 0, its receivers sorted and within the
// window; and the merged capture the frame loop reads (framelist/merged_source.h) holds the
// packets' first receptions with their receivers, one frame each. A capture without stamps is
// refused in time order, never merged wrongly.
//
// The input: the lengths of the first and the second capture (two bytes each, least significant
// first; cut to what there is), then the bytes of the three captures one after the other.
#ifndef PACKSCOPE_FUZZ_MERGE_CHECK_H_
#define PACKSCOPE_FUZZ_MERGE_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

// What is wrong first, or an empty text. The captures live in memory files.
std::string CheckMerge(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_MERGE_CHECK_H_
