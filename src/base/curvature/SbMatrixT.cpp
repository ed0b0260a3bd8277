#include "curvature/SbMatrixT.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace math {

matrix_error::matrix_error(const char* message) {
  std::strncpy(text, message ? message : "", sizeof text - 1);
  text[sizeof text - 1] = '\0';
}

namespace {
const char* const kIndexMessage = "matrixT::operator(): Index out of range!";
const char* const kDetMessage = "matrixT::Det(): Determinant a non-square matrix!";
const char* const kProductMessage = "matrixT::operator*= : Inconsistent matrix sizes in multiplication!";
const char* const kSingularMessage = "matrixT::operator!: Inversion of a singular matrix";
const char* const kNonSquareMessage = "matrixT::operator!: Inversion of a non-square matrix";
}  // namespace

template <class T>
typename matrixT<T>::Rep* matrixT<T>::allocate(size_type rows, size_type cols) {
  Rep* r = new Rep;
  r->rows = rows;
  r->cols = cols;
  r->refs = 1;
  r->row = nullptr;
  try {
    r->row = new T*[rows];
    for (size_type i = 0; i < rows; ++i) r->row[i] = nullptr;
    for (size_type i = 0; i < rows; ++i) r->row[i] = new T[cols]();
  } catch (const std::bad_alloc&) {
    release(r);
    throw;
  }
  return r;
}

template <class T>
void matrixT<T>::release(Rep* r) {
  if (--r->refs > 0) return;
  if (r->row) {
    for (size_type i = 0; i < r->rows; ++i) delete[] r->row[i];
    delete[] r->row;
  }
  delete r;
}

template <class T>
void matrixT<T>::detach() {
  if (rep->refs == 1) return;
  Rep* own = allocate(rep->rows, rep->cols);
  for (size_type i = 0; i < rep->rows; ++i)
    for (size_type j = 0; j < rep->cols; ++j) own->row[i][j] = rep->row[i][j];
  release(rep);
  rep = own;
}

template <class T>
matrixT<T>::matrixT(size_type rows, size_type cols) : rep(allocate(rows, cols)) {}

template <class T>
matrixT<T>::matrixT(const matrixT& other) : rep(other.rep) {
  ++rep->refs;
}

template <class T>
matrixT<T>& matrixT<T>::operator=(const matrixT& other) {
  ++other.rep->refs;  // first, so that self-assignment keeps the rows alive
  release(rep);
  rep = other.rep;
  return *this;
}

template <class T>
matrixT<T>::~matrixT() {
  release(rep);
}

template <class T>
T& matrixT<T>::operator()(size_type r, size_type c) {
  if (r >= rep->rows || c >= rep->cols) throw matrix_error(kIndexMessage);
  detach();
  return rep->row[r][c];
}

template <class T>
const T& matrixT<T>::operator()(size_type r, size_type c) const {
  if (r >= rep->rows || c >= rep->cols) throw matrix_error(kIndexMessage);
  return rep->row[r][c];
}

template <class T>
void matrixT<T>::SetSize(size_type rows, size_type cols) {
  if (rows == rep->rows && cols == rep->cols) return;
  Rep* sized = allocate(rows, cols);
  const size_type keepRows = rows < rep->rows ? rows : rep->rows;
  const size_type keepCols = cols < rep->cols ? cols : rep->cols;
  for (size_type i = 0; i < keepRows; ++i)
    for (size_type j = 0; j < keepCols; ++j) sized->row[i][j] = rep->row[i][j];
  release(rep);
  rep = sized;
}

template <class T>
matrixT<T> matrixT<T>::operator~() const {
  matrixT result(rep->cols, rep->rows);
  for (size_type i = 0; i < rep->rows; ++i)
    for (size_type j = 0; j < rep->cols; ++j) result.rep->row[j][i] = rep->row[i][j];
  return result;
}

template <class T>
matrixT<T>& matrixT<T>::operator*=(const matrixT& other) {
  if (rep->cols != other.rep->rows) throw matrix_error(kProductMessage);
  Rep* product = allocate(rep->rows, other.rep->cols);
  for (size_type i = 0; i < rep->rows; ++i) {
    T* out = product->row[i];
    for (size_type k = 0; k < rep->cols; ++k) {
      const T a = rep->row[i][k];
      const T* b = other.rep->row[k];
      for (size_type j = 0; j < other.rep->cols; ++j) out[j] += a * b[j];
    }
  }
  release(rep);
  rep = product;
  return *this;
}

template <class T>
T matrixT<T>::Det() const {
  if (rep->rows != rep->cols) throw matrix_error(kDetMessage);
  matrixT work(*this);
  work.detach();
  T** a = work.rep->row;
  const size_type n = rep->rows;
  T det = T(1);
  for (size_type k = 0; k < n; ++k) {
    size_type pivot = k;
    for (size_type i = k + 1; i < n; ++i)
      if (std::abs(a[i][k]) > std::abs(a[pivot][k])) pivot = i;
    if (pivot != k) {
      std::swap(a[pivot], a[k]);
      det = -det;
    }
    if (a[k][k] == T(0)) return T(0);
    det *= a[k][k];
    for (size_type i = k + 1; i < n; ++i) {
      const T factor = a[i][k] / a[k][k];
      for (size_type j = k; j < n; ++j) a[i][j] -= factor * a[k][j];
    }
  }
  return det;
}

template <class T>
matrixT<T> matrixT<T>::operator!() const {
  if (rep->rows != rep->cols) throw matrix_error(kNonSquareMessage);
  const size_type n = rep->rows;
  matrixT work(*this);
  work.detach();
  matrixT inverse(n, n);
  T** a = work.rep->row;
  T** b = inverse.rep->row;
  for (size_type i = 0; i < n; ++i) b[i][i] = T(1);
  for (size_type k = 0; k < n; ++k) {
    size_type pivot = k;
    for (size_type i = k + 1; i < n; ++i)
      if (std::abs(a[i][k]) > std::abs(a[pivot][k])) pivot = i;
    if (pivot != k) {
      std::swap(a[pivot], a[k]);
      std::swap(b[pivot], b[k]);
    }
    const T p = a[k][k];
    if (p == T(0)) throw matrix_error(kSingularMessage);
    for (size_type j = 0; j < n; ++j) {
      a[k][j] /= p;
      b[k][j] /= p;
    }
    for (size_type i = 0; i < n; ++i) {
      if (i == k) continue;
      const T factor = a[i][k];
      if (factor == T(0)) continue;
      for (size_type j = 0; j < n; ++j) {
        a[i][j] -= factor * a[k][j];
        b[i][j] -= factor * b[k][j];
      }
    }
  }
  return inverse;
}

template class matrixT<double>;
template class matrixT<float>;

}  // namespace math
