// Independent models of the two uniform generators for the tests: plain
// 128-bit modular arithmetic instead of Schrage's split, and helpers that
// choose seeds so that the combined generator's next output is a given value.
#ifndef PELTRA_TESTS_RANDOM_REFERENCE_GENERATORS_H
#define PELTRA_TESTS_RANDOM_REFERENCE_GENERATORS_H

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace reference {

constexpr int64_t kM1 = 2147483563, kM2 = 2147483399;  // combined generator moduli
constexpr int64_t kA1 = 40014, kA2 = 40692;            // and multipliers
constexpr int64_t kPM = 2147483647, kPA = 16807;       // Park-Miller modulus, multiplier

inline int64_t mulmod(int64_t a, int64_t b, int64_t m) {
  return (int64_t)((__int128)a * b % m);
}

inline int64_t powmod(int64_t a, uint64_t e, int64_t m) {
  int64_t r = 1 % m;
  a %= m;
  for (; e; e >>= 1) {
    if (e & 1) r = mulmod(r, a, m);
    a = mulmod(a, a, m);
  }
  return r;
}

// Inverse modulo a prime (all three moduli are prime).
inline int64_t invmod(int64_t a, int64_t m) { return powmod(a, (uint64_t)(m - 2), m); }

// The combined generator on one seed pair: 40014 s1 mod m1, 40692 s2 mod m2,
// output their difference folded into 1 .. m1 - 1.
struct Combined {
  int64_t s1, s2;
  Combined(int64_t seed1, int64_t seed2) : s1(seed1), s2(seed2) {}
  int64_t next() {
    s1 = mulmod(kA1, s1, kM1);
    s2 = mulmod(kA2, s2, kM2);
    int64_t z = s1 - s2;
    return z >= 1 ? z : z + kM1 - 1;
  }
  float uniform() { return (float)(next() * 4.656613057E-10); }
};

// Seeds for setall whose first output is z (1 .. m1 - 1), with the second
// component's next state equal to s2_next (1 .. m2 - 1, a free choice that
// picks the rest of the stream).
inline std::pair<int64_t, int64_t> seeds_giving(int64_t z, int64_t s2_next) {
  int64_t s1_next = z + s2_next;
  // Past m1 the difference folds: s1 - s2 + m1 - 1 = z.
  if (s1_next >= kM1) s1_next -= kM1 - 1;
  return {mulmod(s1_next, invmod(kA1, kM1), kM1), mulmod(s2_next, invmod(kA2, kM2), kM2)};
}

// Output z of the combined generator for which ranf() is exactly 0.5.
constexpr int64_t kHalf = 1073741824;  // 2^30
// Smallest output for which ranf() is exactly 1.
constexpr int64_t kOne = 2147483500;

// The shuffled generator with a table kept by sequence position: after
// seeding from x0, table slot j holds x(40 - j) and the last output is x40.
struct Shuffled {
  std::array<int64_t, 32> table{};
  int64_t last = 0, state = 0;
  explicit Shuffled(int64_t x0) {
    int64_t seq[41];
    seq[0] = x0;
    for (int n = 1; n <= 40; n++) seq[n] = seq[n - 1] * kPA % kPM;
    for (int j = 0; j < 32; j++) table[j] = seq[40 - j];
    last = state = seq[40];
  }
  float next() {
    state = state * kPA % kPM;
    int slot = (int)(last >> 26);
    last = table[slot];
    table[slot] = state;
    float v = (float)(last * (1.0 / 2147483647));
    return (double)v > 0.99999988 ? 0.99999988079071044921875f : v;
  }
};

// Regex matching exactly the given text (for death-test output).
inline std::string exactly(const std::string &text) {
  std::string re = "^";
  for (char c : text) {
    if (std::string(".^$|()[]{}*+?\\").find(c) != std::string::npos) re += '\\';
    re += c;
  }
  return re + "$";
}

}  // namespace reference

#endif
