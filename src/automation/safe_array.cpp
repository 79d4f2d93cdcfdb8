#include "z418kt/safe_array.h"

namespace z418kt {

SafeArray::SafeArray(std::vector<Bound> bounds) { redim(std::move(bounds)); }

SafeArray SafeArray::zeroBased(int32_t upper1) { return SafeArray({{0, upper1 + 1}}); }

SafeArray SafeArray::zeroBased(int32_t upper1, int32_t upper2) {
  return SafeArray({{0, upper1 + 1}, {0, upper2 + 1}});
}

void SafeArray::redim(std::vector<Bound> bounds) {
  if (bounds.empty() || bounds.size() > 2) throw errors::subscriptOutOfRange();
  size_t total = 1;
  for (const Bound& b : bounds) {
    if (b.count < 0) throw errors::subscriptOutOfRange();
    total *= static_cast<size_t>(b.count);
  }
  bounds_ = std::move(bounds);
  items_.assign(total, Variant());
}

int32_t SafeArray::lbound(int dimension) const {
  if (dimension < 1 || dimension > dimensions()) throw errors::subscriptOutOfRange();
  return bounds_[dimension - 1].lower;
}

int32_t SafeArray::ubound(int dimension) const {
  if (dimension < 1 || dimension > dimensions()) throw errors::subscriptOutOfRange();
  const Bound& b = bounds_[dimension - 1];
  return b.lower + b.count - 1;
}

size_t SafeArray::offset(int32_t i, int32_t j, int dims) const {
  if (dims != dimensions()) throw errors::subscriptOutOfRange();
  auto index = [](const Bound& b, int32_t k) {
    int64_t rel = static_cast<int64_t>(k) - b.lower;
    if (rel < 0 || rel >= b.count) throw errors::subscriptOutOfRange();
    return static_cast<size_t>(rel);
  };
  size_t first = index(bounds_[0], i);
  if (dims == 1) return first;
  return first + static_cast<size_t>(bounds_[0].count) * index(bounds_[1], j);
}

Variant& SafeArray::at(int32_t i) { return items_[offset(i, 0, 1)]; }
const Variant& SafeArray::at(int32_t i) const { return items_[offset(i, 0, 1)]; }
Variant& SafeArray::at(int32_t i, int32_t j) { return items_[offset(i, j, 2)]; }
const Variant& SafeArray::at(int32_t i, int32_t j) const { return items_[offset(i, j, 2)]; }

bool operator==(const SafeArray& a, const SafeArray& b) {
  if (a.bounds_.size() != b.bounds_.size()) return false;
  for (size_t k = 0; k < a.bounds_.size(); ++k) {
    if (a.bounds_[k].lower != b.bounds_[k].lower || a.bounds_[k].count != b.bounds_[k].count)
      return false;
  }
  return a.items_ == b.items_;
}

}  // namespace z418kt
