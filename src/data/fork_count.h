// How many forks lie between the process that started and this one: a child
// counts one more than its parent. State that belongs to one process (pooled
// sessions, reserved keys) compares it with the count it was made under. It
// is a load, not a getpid() system call, so it can be asked on every use.
#pragma once

#include <cstdint>

namespace z418kt::data {

uint64_t forkCount();

}  // namespace z418kt::data
