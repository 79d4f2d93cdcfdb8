// RowSet: what one statement produced, fully materialised (a client cursor).
//
// The values are kept row after row in one block (Rows), not a vector per
// row. A thread keeps the block of the last rows it let go of (up to
// kKeptCells values) and fills it again for its next result: repeated reads
// of a large Coleta then neither allocate nor touch fresh memory, which the
// allocator would otherwise hand back to the system after every read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "z418kt/variant.h"

namespace z418kt::data {

class Rows {
 public:
  static constexpr size_t kKeptCells = 65536;  // 2.5 MB of values per thread at most

  // One row's values, in column order; valid until the rows change.
  class Row : public std::span<const Variant> {
   public:
    using std::span<const Variant>::span;
    const Variant& at(size_t column) const {
      if (column >= size()) throw std::out_of_range("no such column");
      return (*this)[column];
    }
    friend bool operator==(const Row& a, const std::vector<Variant>& b) {
      return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
  };

  class Iterator {
   public:
    Iterator(const Rows* rows, size_t index) : rows_(rows), index_(index) {}
    Row operator*() const { return (*rows_)[index_]; }
    Iterator& operator++() { return ++index_, *this; }
    bool operator!=(const Iterator& other) const { return index_ != other.index_; }

   private:
    const Rows* rows_;
    size_t index_;
  };

  Rows() = default;
  ~Rows();
  Rows(const Rows&) = default;
  Rows& operator=(const Rows&) = default;
  Rows(Rows&&) noexcept = default;
  Rows& operator=(Rows&& other) noexcept;
  // Rows given whole, each as wide as the first.
  Rows(std::vector<std::vector<Variant>> rows) {  // NOLINT: rows are written as nested lists
    for (auto& row : rows) push_back(std::move(row));
  }
  Rows(std::initializer_list<std::vector<Variant>> rows) {
    for (const auto& row : rows) push_back(row);
  }

  size_t size() const { return width_ ? cells_.size() / width_ : 0; }
  bool empty() const { return cells_.empty(); }
  // size() > row, without the division: asked for every value read.
  bool hasRow(size_t row) const { return (row + 1) * width_ <= cells_.size() && width_ != 0; }
  Row operator[](size_t row) const { return Row(cells_.data() + row * width_, width_); }
  Row at(size_t row) const {
    if (row >= size()) throw std::out_of_range("no such row");
    return (*this)[row];
  }
  Row front() const { return at(0); }
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, size()}; }

  void clear() { cells_.clear(); }
  // Rows are then added one value at a time, `width` values a row.
  void setWidth(size_t width);
  void add(Variant value) { cells_.push_back(std::move(value)); }
  void push_back(std::vector<Variant> row) {
    if (cells_.empty()) width_ = row.size();
    if (row.size() != width_) throw std::invalid_argument("rows of different widths");
    for (Variant& value : row) cells_.push_back(std::move(value));
  }

 private:
  void keepSpare() noexcept;  // hands the block to the thread's spare when it is the larger
  std::vector<Variant> cells_;
  size_t width_ = 0;
};

struct RowSet {
  // False for a statement without a result set (INSERT, UPDATE, DELETE...):
  // the record set that ran it stays closed, as ADO leaves it.
  bool hasResultSet = false;
  std::vector<std::string> columns;
  Rows rows;  // each row has columns.size() values
};

}  // namespace z418kt::data
