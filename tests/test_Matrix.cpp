// The dense matrix that checks the curvature fit: failures, determinant, inverse and the rows copies share.

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

std::vector<std::vector<double>> rowsOf(const matrix& m) {
  std::vector<std::vector<double>> rows(m.RowNo(), std::vector<double>(m.ColNo()));
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < rows[i].size(); ++j) rows[i][j] = m(i, j);
  return rows;
}

// Determinant by cofactor expansion along the first row, independent of the elimination.
double cofactorDet(const std::vector<std::vector<double>>& a) {
  if (a.size() == 1) return a[0][0];
  double det = 0.0;
  for (size_t c = 0; c < a.size(); ++c) {
    std::vector<std::vector<double>> minor;
    for (size_t i = 1; i < a.size(); ++i) {
      minor.emplace_back(a[i].begin(), a[i].end());
      minor.back().erase(minor.back().begin() + c);
    }
    det += (c % 2 ? -1.0 : 1.0) * a[0][c] * cofactorDet(minor);
  }
  return det;
}

}  // namespace

TEST(Matrix, FailuresCarryTheirMessages) {
  const std::string range = "matrixT::operator(): Index out of range!";
  // clang-format off
  const std::pair<void (*)(), std::string> cases[] = {
      {[] { matrix(2, 3)(2, 0) = 1.0; }, range},
      {[] { (void)static_cast<const matrix&>(matrix(2, 3))(0, 3); }, range},
      {[] { (void)matrix(2, 3).Det(); }, "matrixT::Det(): Determinant a non-square matrix!"},
      {[] { (void)(matrix(2, 3) * matrix(2, 3)); },
       "matrixT::operator*= : Inconsistent matrix sizes in multiplication!"},
      {[] { (void)!fromRows({{1, 2}, {2, 4}}); }, "matrixT::operator!: Inversion of a singular matrix"},
      {[] { (void)!matrix(3, 2); }, "matrixT::operator!: Inversion of a non-square matrix"}};
  // clang-format on
  for (const auto& [f, message] : cases) EXPECT_EQ(messageOf(f), message);
  // Long messages are cut to 255 characters; the type is a std::exception.
  const std::string longText(400, 'x');
  const std::exception& base = matrix_error(longText.c_str());
  EXPECT_EQ(std::string(base.what()), longText.substr(0, 255));
}

// The determinant's sign follows the row swaps and a zero pivot ends it with exactly 0; it agrees with the cofactor
// expansion, and the inverse times the matrix is the identity.
TEST(Matrix, DeterminantAndInverse) {
  EXPECT_EQ(fromRows({{0, 1}, {1, 0}}).Det(), -1.0);
  EXPECT_DOUBLE_EQ(fromRows({{0, 2, 1}, {1, 0, 0}, {0, 3, 3}}).Det(), -3.0);  // pivots on rows 1 and 2
  EXPECT_DOUBLE_EQ(fromRows({{0, 2, 1}, {1, 0, 0}, {0, 0, 3}}).Det(), -6.0);
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
  matrix a(5, 5);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) a(i, j) = uniform(random) / 2 + (i == j ? 3.0 : 0.0);
  a(0, 0) = 0.0;  // forces a row swap
  const matrix product = !a * a;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_NEAR(product(i, j), i == j ? 1.0 : 0.0, 1e-12);
  EXPECT_NEAR((!a).Det() * a.Det(), 1.0, 1e-12);
}

// Copies share rows until one is written; the determinant works on a copy.
TEST(Matrix, CopiesShareRowsUntilWritten) {
  matrix a = fromRows({{1, 2}, {3, 4}}), b = a, c(1, 1);
  EXPECT_TRUE(b.SharesRowsWith(a));
  b(0, 0) = 9.0;
  EXPECT_FALSE(b.SharesRowsWith(a));
  EXPECT_EQ(rowsOf(a), (std::vector<std::vector<double>>{{1, 2}, {3, 4}}));
  EXPECT_EQ(rowsOf(b), (std::vector<std::vector<double>>{{9, 2}, {3, 4}}));
  const matrix d = fromRows({{0, 2}, {3, 1}}), dCopy = d;
  EXPECT_EQ(d.Det(), -6.0);
  EXPECT_TRUE(d(0, 0) == 0.0 && dCopy.SharesRowsWith(d));
  c = b;
  EXPECT_TRUE(c.SharesRowsWith(b));
  a = a;  // self-assignment keeps the rows
  EXPECT_EQ(a(1, 1), 4.0);
}
