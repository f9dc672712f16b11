// Standardised frequencies: the frequency line, the correlation sums and XtX.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "stats_state.h"

namespace {

using namespace statstest;

std::string file_content(FILE *f) {
  fflush(f);
  rewind(f);
  std::string s;
  int c;
  while ((c = fgetc(f)) != EOF) s += (char)c;
  return s;
}

// L^-1 of a correlated 4 x 4 covariance matrix (lower triangle).
const std::vector<double> kLInverse4 = {1.3, 0, 0, 0,  -0.4, 2.2, 0, 0,
                                        0.25, 0.6, 0.9, 0, -1.1, 0.05, 0.3, 1.7};

class PrintX : public ::testing::Test {
 protected:
  void SetUp() override { freqs_out = tmpfile(); }
  void TearDown() override {
    for (ALLELE *a : loci) free_locus(a, NUMPOPS);
    if (env_transformed) {
      free_dmatrix(env_transformed, 1, number_environ, 1, NUMPOPS);
      free_dmatrix(env_ranks, 1, number_environ, 1, NUMPOPS);
      env_transformed = env_ranks = nullptr;
    }
    release_state();
    fclose(freqs_out);
    freqs_out = nullptr;
  }
  void add_locus(double epsilon, const std::vector<double> &theta) {
    std::vector<int> zero(theta.size(), 0), two(theta.size(), 2);
    loci.push_back(make_locus(zero, two, epsilon, theta));
    NUMLOCI = (int)loci.size();
  }
  // X of locus l, computed here from the definition.
  std::vector<double> expected_x(int l) {
    ALLELE *a = loci[l];
    double s = sqrt((1 - a->epsilon) * a->epsilon);
    std::vector<double> x(NUMPOPS, 0.0);
    for (int i = 1; i <= NUMPOPS; i++)
      for (int j = 1; j <= i; j++) x[i - 1] += chol_dec_sigmas_inverse[i][j] * (a->theta_offset[j] / s);
    return x;
  }
  std::vector<ALLELE *> loci;
};

TEST_F(PrintX, OnePopulationLine) {
  set_covariance(1, {0.5});  // L = [[2]]
  set_environment(1, {1});
  add_locus(0.2, {0.03});  // s = 0.4: X = 0.03 / (0.4 * 2) = 0.0375
  FREQS_OUTPUT = 1;
  print_X(loci.data());
  EXPECT_EQ(file_content(freqs_out), "3.7500e-02 \t\n");
}

TEST_F(PrintX, ZeroOffsetsWriteZerosAndAddNothing) {
  set_covariance(4, kLInverse4);
  set_environment(1, {1, 2, 3, 4});
  add_locus(0.37, {0, 0, 0, 0});
  FREQS_OUTPUT = CALC_XTX = 1;
  print_X(loci.data());
  print_X(loci.data());
  const std::string line = "0.0000e+00 \t0.0000e+00 \t0.0000e+00 \t0.0000e+00 \t\n";
  EXPECT_EQ(file_content(freqs_out), line + line);
  EXPECT_EQ(XtX, 0.0);
}

TEST_F(PrintX, LinesFollowTheLowerTriangularProduct) {
  set_covariance(4, kLInverse4);
  set_environment(1, {1, 2, 3, 4});
  // Entries above the diagonal must not be read.
  chol_dec_sigmas_inverse[1][4] = chol_dec_sigmas_inverse[2][3] = 99;
  add_locus(0.37, {0.021, -0.13, 0.004, 0.09});
  add_locus(0.81, {-0.01, 0.02, 0.05, -0.07});
  FREQS_OUTPUT = 1;
  print_X(loci.data());
  std::string want;
  char buf[64];
  for (int l = 0; l < 2; l++) {
    for (double v : expected_x(l)) {
      snprintf(buf, sizeof buf, "%.4e \t", v);
      want += buf;
    }
    want += "\n";
  }
  EXPECT_EQ(file_content(freqs_out), want);
}

TEST_F(PrintX, XtXIsMinusTwiceThePriorExponent) {
  set_covariance(4, kLInverse4);
  set_environment(1, {1, 2, 3, 4});
  add_locus(0.37, {0.021, -0.13, 0.004, 0.09});
  add_locus(0.81, {-0.01, 0.02, 0.05, -0.07});
  CALC_XTX = 1;
  print_X(loci.data());
  double want = -2 * (multivar_prob(loci[0]->theta_offset, 0.37) + multivar_prob(loci[1]->theta_offset, 0.81));
  EXPECT_NEAR(XtX, want, 1e-12 * want);
  // A second sample adds the same again; nothing is reset between samples.
  print_X(loci.data());
  EXPECT_NEAR(XtX, 2 * want, 2e-12 * want);
  // The other outputs took no part.
  EXPECT_EQ(file_content(freqs_out), "");
  EXPECT_EQ(corr_vector[1], 0.0);
  EXPECT_EQ(corr_vector2[1], 0.0);
}

TEST_F(PrintX, CorrelationSumsPerVariable) {
  set_covariance(4, kLInverse4);
  set_environment(2, {0, 0, 0, 0, 0, 0, 0, 0});
  add_locus(0.37, {0.021, -0.13, 0.004, 0.09});
  std::vector<double> x = expected_x(0);
  // Variable 1 is an increasing affine map of X: both correlations 1.
  // Variable 2 reverses X's order with a non-linear map: Spearman -1, Pearson
  // as computed here.
  env_transformed = dmatrix(1, 2, 1, 4);
  env_ranks = dmatrix(1, 2, 1, 4);
  for (int p = 1; p <= 4; p++) {
    env_transformed[1][p] = 3 * x[p - 1] + 1;
    env_transformed[2][p] = -x[p - 1] * x[p - 1] * x[p - 1];
  }
  calc_ranking(env_transformed[1], env_ranks[1]);
  calc_ranking(env_transformed[2], env_ranks[2]);
  double mx = 0, my = 0;
  for (int p = 0; p < 4; p++) {
    mx += x[p] / 4;
    my += env_transformed[2][p + 1] / 4;
  }
  double sxy = 0, sxx = 0, syy = 0;
  for (int p = 0; p < 4; p++) {
    double dx = x[p] - mx, dy = env_transformed[2][p + 1] - my;
    sxy += dx * dy;
    sxx += dx * dx;
    syy += dy * dy;
  }
  double pearson2 = sxy / sqrt(sxx * syy);
  ASSERT_GT(pearson2, -0.999);

  PRINT_COR = 1;
  print_X(loci.data());
  print_X(loci.data());
  EXPECT_NEAR(corr_vector[1], 2.0, 1e-14);
  EXPECT_NEAR(corr_vector2[1], 2.0, 1e-14);
  EXPECT_NEAR(corr_vector[2], -2.0, 1e-14);
  EXPECT_NEAR(corr_vector2[2], 2 * pearson2, 1e-13);
  EXPECT_EQ(XtX, 0.0);
  EXPECT_EQ(file_content(freqs_out), "");
}

}  // namespace
