// vb::resolved without a copy of a value that is no object: conversions and
// literal writers read most values directly from their caller's variant.
#pragma once

#include "z418kt/variant.h"

namespace z418kt::vb {

// What vb::resolved gives of `v`: the variant itself when it is no object,
// otherwise its resolved default value, held here. `v` must outlive the view.
class ResolvedView {
 public:
  explicit ResolvedView(const Variant& v)
      : own_(v.isObject() ? resolved(v) : Variant()), value_(v.isObject() ? own_ : v) {}
  ResolvedView(const ResolvedView&) = delete;
  ResolvedView& operator=(const ResolvedView&) = delete;

  const Variant& get() const { return value_; }

 private:
  Variant own_;
  const Variant& value_;
};

}  // namespace z418kt::vb
