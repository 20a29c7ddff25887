// CheckIndex: a capture indexed (in two steps, as if it grew) and its display text and timestamp
// log made on demand, against whole Screen passes over the same bytes in both Check1 views:
// the frames, the outcome (a frame too long ends both alike), the counts, every line's text,
// start and colour, the whole text and the log.
#ifndef PACKSCOPE_FUZZ_INDEX_CHECK_H_
#define PACKSCOPE_FUZZ_INDEX_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

// What differs first, or an empty text when nothing does. The capture lives in a memory file.
std::string CheckIndex(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_INDEX_CHECK_H_
