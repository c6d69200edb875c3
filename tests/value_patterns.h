// Seeded 64-bit float patterns for the value functions: raw random bits,
// NaNs with random payloads (quiet and signalling, both signs), subnormals,
// zeros, infinities, huge and tiny magnitudes, values spread over a scale,
// whole and half values, and the neighbours (a few ulps either side) of the
// scale's own boundaries.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace gauge::test {

class PatternSource {
 public:
  PatternSource(uint64_t seed, std::vector<double> anchors) : random_(seed), anchors_(std::move(anchors)) {}

  double Next() {
    const uint64_t r = random_();
    switch (random_() % 10) {
      case 0: return std::bit_cast<double>(r);  // any pattern at all
      case 1: {  // NaN: exponent all ones, a payload that is not zero
        const uint64_t payload = (r & 0x000FFFFFFFFFFFFFull) | 1;
        return std::bit_cast<double>((r & 0x8000000000000000ull) | 0x7FF0000000000000ull | payload);
      }
      case 2: return std::bit_cast<double>(r & 0x800FFFFFFFFFFFFFull);  // subnormal or zero
      case 3: {
        constexpr double kSpecials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                                        std::numeric_limits<double>::min(), -std::numeric_limits<double>::denorm_min()};
        return kSpecials[r % std::size(kSpecials)];
      }
      case 4: {  // any magnitude: random sign and exponent, random mantissa
        const uint64_t exponent = (r >> 52) % 0x7FF;
        return std::bit_cast<double>((r & 0x800FFFFFFFFFFFFFull) | exponent << 52);
      }
      case 5:
      case 6: {  // on the scale and a little beyond: -20000 to 20000
        return std::ldexp(static_cast<double>(static_cast<int64_t>(r) >> 11), -38);
      }
      case 7: return static_cast<double>(static_cast<int32_t>(r >> 32) % 20000) * 0.5;  // whole and half values
      default: {  // an anchor, nudged by up to 4 ulps either way
        double v = anchors_[r % anchors_.size()];
        for (int steps = static_cast<int>((r >> 8) % 9) - 4; steps != 0; steps += steps > 0 ? -1 : 1)
          v = std::nextafter(v, steps > 0 ? INFINITY : -INFINITY);
        return v;
      }
    }
  }

 private:
  std::mt19937_64 random_;
  std::vector<double> anchors_;
};

// The landing altimeter's unit selector: mostly exactly 2.0 (metres), else a
// value that is near it, an integer 2 in the low word, zero, NaN or random.
inline double UnitsPattern(std::mt19937_64& random) {
  const uint64_t r = random();
  switch (r % 8) {
    case 0: return 0.0;
    case 1: return std::nextafter(2.0, r & 8 ? 3.0 : 1.0);
    case 2: return std::bit_cast<double>(uint64_t(2));
    case 3: return std::bit_cast<double>(r);
    case 4: return -2.0;
    default: return 2.0;
  }
}

}  // namespace gauge::test
