#pragma once
// Tries an action again on a timer, with a growing interval, until it
// succeeds: at logon the taskbar and the terminal service may not be ready
// when the monitor starts.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Text.h"
#include "platform/WindowSystem.h"

namespace vx {

// About four minutes in all.
inline constexpr std::uint32_t kRetryDelaysMs[] = {1000, 2000, 4000, 8000, 16000, 32000, 64000, 64000, 64000};

class TRetryTimer {
 public:
  // `what` names the action in the log lines.
  TRetryTimer(IWindowSystem& windows, std::function<bool()> attempt, WStr what);
  // Tries now; on failure starts the retries over from the shortest
  // interval. True when it succeeded now.
  bool Start();
  // The timer's tick: one more try.
  void Tick();
  bool Retrying() const { return timer_->Enabled(); }
  int Retries() const { return retries_; }

 private:
  std::unique_ptr<ITimer> timer_;
  std::function<bool()> attempt_;
  WStr what_;
  std::size_t step_ = 0;
  int retries_ = 0;
};

}  // namespace vx
