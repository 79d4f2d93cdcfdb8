// ScopedLocale: runs a block under a process locale, as a host program that
// calls setlocale would, and puts the previous one back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace z418kt::testing {

// The locales every conversion must give identical results under: C, and a
// Brazilian one whose decimal separator is ','.
inline const char* const kTestLocales[] = {"C", "pt_BR.UTF-8"};

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, name) != nullptr;
    EXPECT_TRUE(active_) << "locale " << name
                         << " is missing: scripts/install-deps.sh generates it";
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

}  // namespace z418kt::testing
