// CheckFrameList: a capture through the frame list's core, against the frame loop and the jsonl
// layout over the same bytes: every frame read again through the index (its un-escaped bytes, its
// bad escapes), a row per jsonl object with its frame number, the details of every frame (each
// node's bytes inside the frame, every byte's node holding it), the stored places of its bytes,
// a sort by Info and by Path (a permutation, in order), find, the survey's count, and the
// connected sessions: their tables, and each session followed on its own as the table has it.
#ifndef PACKSCOPE_FUZZ_FRAMELIST_CHECK_H_
#define PACKSCOPE_FUZZ_FRAMELIST_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

// What differs first, or an empty text when nothing does. The capture lives in a memory file.
std::string CheckFrameList(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_FRAMELIST_CHECK_H_
