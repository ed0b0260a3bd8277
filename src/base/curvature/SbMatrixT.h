#ifndef LINFOLD_SBMATRIXT_H
#define LINFOLD_SBMATRIXT_H

// Small dense matrix with reference-counted, copy-on-write row storage.
//
// A matrix is its rows (separate arrays), its row and column counts and a
// share count: copies share the rows until one of them is written, then the
// writer takes its own copy. Every failure throws math::matrix_error, the only
// exception type of the library.

#include <cstddef>
#include <exception>

namespace math {

class matrix_error : public std::exception {
 public:
  // Keeps at most the first 255 characters of `message`.
  explicit matrix_error(const char* message);
  const char* what() const noexcept override { return text; }

 private:
  char text[256];
};

template <class T>
class matrixT {
 public:
  typedef std::size_t size_type;

  // rows x cols, every element zero. A 0 x 0 matrix is allowed.
  explicit matrixT(size_type rows = 0, size_type cols = 0);
  matrixT(const matrixT& other);
  matrixT& operator=(const matrixT& other);
  ~matrixT();

  size_type RowNo() const { return rep->rows; }
  size_type ColNo() const { return rep->cols; }

  // Element (r, c), both from 0. Out of range: "matrixT::operator(): Index out of range!".
  // The writable form gives this matrix its own rows first when they are shared.
  T& operator()(size_type r, size_type c);
  const T& operator()(size_type r, size_type c) const;

  // New size; the top-left block that both sizes hold is kept, the rest is zero.
  void SetSize(size_type rows, size_type cols);

  // Transpose.
  matrixT operator~() const;

  // Matrix product this * other; mismatched sizes:
  // "matrixT::operator*= : Inconsistent matrix sizes in multiplication!".
  matrixT& operator*=(const matrixT& other);
  friend matrixT operator*(const matrixT& a, const matrixT& b) {
    matrixT result(a);
    result *= b;
    return result;
  }

  // Determinant by Gaussian elimination with partial pivoting on a copy; 0 as
  // soon as a pivot is exactly 0. Not square:
  // "matrixT::Det(): Determinant a non-square matrix!".
  T Det() const;

  // Inverse by Gauss-Jordan elimination with partial pivoting. Not square:
  // "matrixT::operator!: Inversion of a non-square matrix"; a zero pivot:
  // "matrixT::operator!: Inversion of a singular matrix".
  matrixT operator!() const;

  // True when both share one row storage (no copy has been written yet).
  bool SharesRowsWith(const matrixT& other) const { return rep == other.rep; }

 private:
  struct Rep {
    T** row;
    size_type rows;
    size_type cols;
    int refs;
  };
  static Rep* allocate(size_type rows, size_type cols);
  static void release(Rep* r);
  void detach();

  Rep* rep;
};

typedef matrixT<double> matrix;

}  // namespace math

#endif
