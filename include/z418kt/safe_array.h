// SafeArray: an array of variants with one or two dimensions and any lower
// bounds, as held by an Array variant. Indexes outside the bounds raise 9
// "Subscript out of range". The cargo matrix is a 2-D SafeArray addressed
// (column, row).
#pragma once

#include <cstdint>
#include <vector>

#include "z418kt/export.h"
#include "z418kt/variant.h"

namespace z418kt {

class Z418KT_EXPORT SafeArray {
 public:
  struct Bound {
    int32_t lower = 0;
    int32_t count = 0;  // elements in this dimension; 0 is an empty dimension
  };

  SafeArray() = default;  // no dimensions (an unallocated array)
  explicit SafeArray(std::vector<Bound> bounds);
  // Convenience: bounds (0 to upper1) or (0 to upper1, 0 to upper2) as VB's ReDim.
  static SafeArray zeroBased(int32_t upper1);
  static SafeArray zeroBased(int32_t upper1, int32_t upper2);

  int dimensions() const { return static_cast<int>(bounds_.size()); }
  // dimension is 1-based as in VB's LBound/UBound; 9 for a missing dimension.
  int32_t lbound(int dimension = 1) const;
  int32_t ubound(int dimension = 1) const;
  const std::vector<Bound>& bounds() const { return bounds_; }

  // Element access; the number of indexes must equal dimensions(), else 9.
  Variant& at(int32_t i);
  const Variant& at(int32_t i) const;
  Variant& at(int32_t i, int32_t j);
  const Variant& at(int32_t i, int32_t j) const;

  // ReDim without Preserve: new bounds, every element Empty.
  void redim(std::vector<Bound> bounds);

  friend Z418KT_EXPORT bool operator==(const SafeArray& a, const SafeArray& b);

 private:
  size_t offset(int32_t i, int32_t j, int dims) const;
  std::vector<Bound> bounds_;
  std::vector<Variant> items_;
};

}  // namespace z418kt
