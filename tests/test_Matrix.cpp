#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "curvature/SbMatrixT.h"

using math::matrix;
using math::matrix_error;

namespace {

std::string messageOf(void (*f)()) {
  try {
    f();
  } catch (const matrix_error& e) {
    return e.what();
  }
  return "(no exception)";
}

matrix fromRows(const std::vector<std::vector<double>>& rows) {
  matrix m(rows.size(), rows.empty() ? 0 : rows[0].size());
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < rows[i].size(); ++j) m(i, j) = rows[i][j];
  return m;
}

// Determinant by cofactor expansion along the first row, independent of the
// elimination.
double cofactorDet(const std::vector<std::vector<double>>& a) {
  const size_t n = a.size();
  if (n == 1) return a[0][0];
  double det = 0.0;
  for (size_t c = 0; c < n; ++c) {
    std::vector<std::vector<double>> minor;
    for (size_t i = 1; i < n; ++i) {
      std::vector<double> row;
      for (size_t j = 0; j < n; ++j)
        if (j != c) row.push_back(a[i][j]);
      minor.push_back(row);
    }
    det += (c % 2 ? -1.0 : 1.0) * a[0][c] * cofactorDet(minor);
  }
  return det;
}

}  // namespace

TEST(Matrix, FailuresCarryTheirMessages) {
  EXPECT_EQ(messageOf([] { matrix m(2, 3); m(2, 0) = 1.0; }),
            "matrixT::operator(): Index out of range!");
  EXPECT_EQ(messageOf([] { const matrix m(2, 3); (void)m(0, 3); }),
            "matrixT::operator(): Index out of range!");
  EXPECT_EQ(messageOf([] { (void)matrix(2, 3).Det(); }),
            "matrixT::Det(): Determinant a non-square matrix!");
  EXPECT_EQ(messageOf([] { (void)(matrix(2, 3) * matrix(2, 3)); }),
            "matrixT::operator*= : Inconsistent matrix sizes in multiplication!");
  EXPECT_EQ(messageOf([] { (void)!fromRows({{1, 2}, {2, 4}}); }),
            "matrixT::operator!: Inversion of a singular matrix");
  EXPECT_EQ(messageOf([] { (void)!matrix(3, 2); }),
            "matrixT::operator!: Inversion of a non-square matrix");
}

TEST(Matrix, LongMessagesAreCutTo255Characters) {
  const std::string longText(400, 'x');
  matrix_error e(longText.c_str());
  EXPECT_EQ(std::string(e.what()), longText.substr(0, 255));
  const std::exception& base = e;  // the library's only exception type is a std::exception
  EXPECT_EQ(std::string(base.what()).size(), 255u);
}

TEST(Matrix, DeterminantSignFollowsTheRowSwaps) {
  EXPECT_EQ(fromRows({{0, 1}, {1, 0}}).Det(), -1.0);
  // Column 0 pivots on row 1, column 1 on row 2: two swaps.
  EXPECT_DOUBLE_EQ(fromRows({{0, 2, 1}, {1, 0, 0}, {0, 3, 3}}).Det(), -3.0);
  EXPECT_DOUBLE_EQ(fromRows({{0, 2, 1}, {1, 0, 0}, {0, 0, 3}}).Det(), -6.0);
  // A zero pivot ends the elimination with exactly 0.
  EXPECT_EQ(fromRows({{1, 2}, {2, 4}}).Det(), 0.0);
  EXPECT_EQ(fromRows({{0, 1}, {0, 1}}).Det(), 0.0);
  EXPECT_EQ(matrix(0, 0).Det(), 1.0);

  std::mt19937 random(11);
  std::uniform_real_distribution<double> uniform(-2.0, 2.0);
  for (int n = 1; n <= 6; ++n) {
    std::vector<std::vector<double>> a(n, std::vector<double>(n));
    for (auto& row : a)
      for (double& x : row) x = uniform(random);
    EXPECT_NEAR(fromRows(a).Det(), cofactorDet(a), 1e-12 * std::pow(4.0, n)) << "n = " << n;
  }
}

TEST(Matrix, InverseTimesMatrixIsTheIdentity) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  matrix a(5, 5);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) a(i, j) = uniform(random) + (i == j ? 3.0 : 0.0);
  a(0, 0) = 0.0;  // forces a row swap
  const matrix product = !a * a;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_NEAR(product(i, j), i == j ? 1.0 : 0.0, 1e-12);
  EXPECT_NEAR((!a).Det() * a.Det(), 1.0, 1e-12);
}

TEST(Matrix, ProductAndTranspose) {
  const matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
  const matrix b = fromRows({{1, 0}, {0, 1}, {1, 1}});
  const matrix ab = a * b;
  ASSERT_EQ(ab.RowNo(), 2u);
  ASSERT_EQ(ab.ColNo(), 2u);
  EXPECT_EQ(ab(0, 0), 4.0);
  EXPECT_EQ(ab(0, 1), 5.0);
  EXPECT_EQ(ab(1, 0), 10.0);
  EXPECT_EQ(ab(1, 1), 11.0);
  const matrix at = ~a;
  ASSERT_EQ(at.RowNo(), 3u);
  ASSERT_EQ(at.ColNo(), 2u);
  EXPECT_EQ(at(2, 1), 6.0);
  // (AB)^T = B^T A^T
  const matrix left = ~ab, right = ~b * ~a;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_EQ(left(i, j), right(i, j));
}

TEST(Matrix, CopiesShareRowsUntilWritten) {
  matrix a = fromRows({{1, 2}, {3, 4}});
  matrix b = a;
  EXPECT_TRUE(b.SharesRowsWith(a));
  b(0, 0) = 9.0;
  EXPECT_FALSE(b.SharesRowsWith(a));
  EXPECT_EQ(a(0, 0), 1.0);
  EXPECT_EQ(b(0, 0), 9.0);
  EXPECT_EQ(b(1, 1), 4.0);
  // The determinant works on a copy: the rows stay shared and unchanged.
  const matrix d = fromRows({{0, 2}, {3, 1}}), dCopy = d;
  EXPECT_EQ(d.Det(), -6.0);
  EXPECT_EQ(d(0, 0), 0.0);
  EXPECT_TRUE(dCopy.SharesRowsWith(d));
  a = a;  // self-assignment keeps the rows
  EXPECT_EQ(a(1, 1), 4.0);
  matrix c(1, 1);
  c = b;
  EXPECT_TRUE(c.SharesRowsWith(b));
}

TEST(Matrix, ResizeKeepsTheTopLeftBlockAndZeroFills) {
  matrix a = fromRows({{1, 2, 3}, {4, 5, 6}});
  const matrix before = a;
  a.SetSize(3, 2);
  ASSERT_EQ(a.RowNo(), 3u);
  ASSERT_EQ(a.ColNo(), 2u);
  EXPECT_EQ(a(0, 0), 1.0);
  EXPECT_EQ(a(0, 1), 2.0);
  EXPECT_EQ(a(1, 0), 4.0);
  EXPECT_EQ(a(1, 1), 5.0);
  EXPECT_EQ(a(2, 0), 0.0);
  EXPECT_EQ(a(2, 1), 0.0);
  EXPECT_EQ(before(0, 2), 3.0);  // the shared original is untouched
  a.SetSize(0, 0);
  EXPECT_EQ(a.RowNo(), 0u);
  const matrix zero(2, 4);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(zero(i, j), 0.0);
}
