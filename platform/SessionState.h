#pragma once
// The desktop session the monitor runs in: notification of lock, unlock and
// session switches (WTSRegisterSessionNotification, delivered to the monitor
// window as WM_WTSSESSION_CHANGE) and the lock state asked for now.
#include <optional>

namespace vx {

class ISessionState {
 public:
  virtual ~ISessionState() = default;
  // false when the terminal service refused (it may not run yet at logon).
  virtual bool RegisterNotification() = 0;
  // Harmless when not registered.
  virtual void UnregisterNotification() = 0;
  // Whether the session is locked now; nullopt when the system cannot say.
  virtual std::optional<bool> LockedNow() = 0;
};

}  // namespace vx
