// A small pseudo-random generator with a fixed algorithm (SplitMix64), so a
// seed gives the same sequence on every machine and library. The standard
// distributions are not portable across library versions; this is.
#pragma once

#include <cstdint>

namespace k470::sim {

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed = 1) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound); 0 for bound 0.
  uint32_t Below(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(Next() % bound); }
  // Uniform in [-spread, +spread].
  int Spread(int spread) {
    return spread <= 0 ? 0 : static_cast<int>(Below(static_cast<uint32_t>(2 * spread + 1))) - spread;
  }

 private:
  uint64_t state_;
};

}  // namespace k470::sim
