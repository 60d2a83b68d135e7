#include "app/RetryTimer.h"

#include <iterator>

#include "platform/Debug.h"

namespace vx {

TRetryTimer::TRetryTimer(IWindowSystem& windows, std::function<bool()> attempt, WStr what)
    : timer_(windows.CreateTimer([this] { Tick(); })), attempt_(std::move(attempt)), what_(std::move(what)) {
  timer_->SetEnabled(false);
}

bool TRetryTimer::Start() {
  timer_->SetEnabled(false);
  if (attempt_()) return true;
  step_ = 0;
  retries_ = 0;
  DebugOutput(what_ + u" failed; trying again in " + IntToWStr(kRetryDelaysMs[0] / 1000) + u" s");
  timer_->SetInterval(kRetryDelaysMs[0]);
  timer_->SetEnabled(true);
  return false;
}

void TRetryTimer::Tick() {
  timer_->SetEnabled(false);
  ++retries_;
  if (attempt_()) {
    DebugOutput(what_ + u" succeeded at retry " + IntToWStr(retries_));
    return;
  }
  if (++step_ >= std::size(kRetryDelaysMs)) {
    DebugOutput(what_ + u" failed " + IntToWStr(retries_) + u" more times; no more retries");
    return;
  }
  timer_->SetInterval(kRetryDelaysMs[step_]);
  timer_->SetEnabled(true);
}

}  // namespace vx
