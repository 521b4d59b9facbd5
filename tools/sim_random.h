#ifndef TORVA_TOOLS_SIM_RANDOM_H
#define TORVA_TOOLS_SIM_RANDOM_H

#include <cmath>
#include <cstdint>

// Deterministic pseudo-random numbers for the run simulator: xoshiro256**
// seeded through splitmix64. Only integer arithmetic and one multiplication by
// 2^-53 are involved, so a seed gives the same run on every machine and with
// every standard library (the std distributions do not promise that).
class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed) {
    std::uint64_t x = seed;
    for (std::uint64_t& word : state_) word = splitmix64(x);
  }

  std::uint64_t next() {
    const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
  }

  // Uniform in [0, 1), 53 random bits.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Uniform in [low, high).
  double uniform(double low, double high) { return low + (high - low) * uniform(); }
  // Uniform in [-1, 1).
  double symmetric() { return 2.0 * uniform() - 1.0; }
  // Log-uniform in [low, high), both positive: equal odds for each decade.
  double logUniform(double low, double high) { return std::exp(uniform(std::log(low), std::log(high))); }
  // Uniform integer in [0, bound), bound > 0 (the modulo bias is far below
  // anything a simulated run could show for the small bounds used here).
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }
  bool chance(double probability) { return uniform() < probability; }

 private:
  static std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  std::uint64_t state_[4];
};

#endif
