// The capture generator's random numbers: std::mt19937_64, which is specified bit for bit, with
// the generator's own mapping to a range, so that every library gives the same capture. The
// remainder's bias (below n / 2^64) does not matter here.
#ifndef PACKSCOPE_GENCAPTURE_RANDOM_H_
#define PACKSCOPE_GENCAPTURE_RANDOM_H_

#include <array>
#include <cstdint>
#include <random>

namespace packscope::gen {

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
  int Between(int lo, int hi) {
    return lo + static_cast<int>(Below(static_cast<std::uint64_t>(hi - lo) + 1));
  }
  bool Percent(int percent) { return Below(100) < static_cast<std::uint64_t>(percent); }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[static_cast<std::size_t>(Below(N))];
  }
  char Byte() { return static_cast<char>(engine_() & 0xFF); }

 private:
  std::mt19937_64 engine_;
};

}  // namespace packscope::gen

#endif  // PACKSCOPE_GENCAPTURE_RANDOM_H_
