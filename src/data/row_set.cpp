#include "data/row_set.h"

namespace z418kt::data {

namespace {
// The block of values this thread let go of last, empty but with its capacity.
thread_local std::vector<Variant> spareCells;
}  // namespace

Rows::~Rows() { keepSpare(); }

Rows& Rows::operator=(Rows&& other) noexcept {
  if (this != &other) {
    keepSpare();
    cells_ = std::move(other.cells_);
    width_ = other.width_;
  }
  return *this;
}

void Rows::keepSpare() noexcept {
  // Most rows let go of hold no block (moved from, or never filled): the
  // thread's spare is then not looked at.
  if (cells_.capacity() == 0 || cells_.capacity() > kKeptCells) return;
  if (cells_.capacity() > spareCells.capacity()) {
    cells_.clear();
    spareCells.swap(cells_);
  }
}

void Rows::setWidth(size_t width) {
  clear();
  if (cells_.capacity() < spareCells.capacity()) cells_.swap(spareCells);
  width_ = width;
}

}  // namespace z418kt::data
