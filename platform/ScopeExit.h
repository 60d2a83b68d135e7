#pragma once
// Runs a function when the scope ends, however it ends: a flag set for the
// scope of a call cannot outlive an exception thrown inside it.
#include <utility>

namespace vx {

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F fn) : fn_(std::move(fn)) {}
  ~ScopeExit() {
    if (armed_) fn_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  // The scope succeeded: nothing runs.
  void Release() { armed_ = false; }

 private:
  F fn_;
  bool armed_ = true;
};

}  // namespace vx
