// Statistical sanity of the deviates over 10^6 draws each. Seeds are fixed,
// so every check is deterministic; the bounds are five standard errors of
// the estimate under the target distribution, wide enough for any correct
// generator and narrow enough to catch a wrong table entry or branch.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "random/randlib.h"

namespace {

constexpr int kDraws = 1000000;
constexpr double kSe = 5.0;

struct Sample {
  std::vector<double> x;
  double mean = 0, var = 0;
  explicit Sample(const std::function<float()> &draw) {
    x.reserve(kDraws);
    for (int n = 0; n < kDraws; n++) x.push_back(draw());
    long double sum = 0, sq = 0;
    for (double v : x) sum += v;
    mean = (double)(sum / kDraws);
    for (double v : x) sq += (v - mean) * (v - mean);
    var = (double)(sq / (kDraws - 1));
  }
  double fraction_below(double bound) const {
    long count = 0;
    for (double v : x) count += v <= bound;
    return (double)count / kDraws;
  }
};

// Mean and variance of a distribution with the given mean, variance and
// fourth central moment.
void expect_moments(const Sample &s, double mean, double var, double mu4, const char *what) {
  EXPECT_NEAR(s.mean, mean, kSe * std::sqrt(var / kDraws)) << what << " mean";
  EXPECT_NEAR(s.var, var, kSe * std::sqrt((mu4 - var * var) / kDraws)) << what << " variance";
}

void expect_cdf(const Sample &s, double bound, double p, const char *what) {
  EXPECT_NEAR(s.fraction_below(bound), p, kSe * std::sqrt(p * (1 - p) / kDraws)) << what << " at " << bound;
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

TEST(DeviateStatistics, StandardNormal) {
  setall(112233, 445566);
  Sample s([] { return gennor(0.0, 1.0); });
  expect_moments(s, 0, 1, 3, "normal");
  // The centre intervals, their edges, and the tail beyond a[31] = 2.153875,
  // which by construction holds 1/64 of the mass on each side.
  for (double z : {-4.0, -2.153875, -2.0, -1.0, -0.6744898, -0.3, 0.0, 0.1, 0.5, 1.0, 1.5, 2.153875, 3.0, 4.0})
    expect_cdf(s, z, normal_cdf(z), "normal");
}

TEST(DeviateStatistics, StandardExponential) {
  setall(271828, 314159);
  Sample s(sexpo);
  expect_moments(s, 1, 1, 9, "exponential");
  for (double x : {0.05, 0.5, 0.6931472, 1.0, 1.5, 2.0, 4.0, 8.0}) expect_cdf(s, x, 1 - std::exp(-x), "exponential");
}

TEST(DeviateStatistics, GammaShapes) {
  setall(5550001, 6660002);
  for (float shape : {0.5f, 1.0f, 2.5f, 5.0f, 20.0f}) {
    Sample s([shape] { return sgamma(shape); });
    double k = shape;
    expect_moments(s, k, k, 3 * k * k + 6 * k, "gamma");
    for (double v : s.x) ASSERT_TRUE(v >= 0 && std::isfinite(v)) << "shape " << k;
    if (shape == 1.0f)
      for (double x : {0.1, 1.0, 3.0}) expect_cdf(s, x, 1 - std::exp(-x), "gamma(1)");
    if (shape == 0.5f)  // half a squared standard normal
      for (double x : {0.001, 0.05, 0.5, 2.0}) expect_cdf(s, x, std::erf(std::sqrt(x)), "gamma(0.5)");
  }
}

}  // namespace
