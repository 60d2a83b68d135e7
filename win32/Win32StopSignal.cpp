// The OS event behind StopSignal: manual reset, so every waiter sees it.
#include <windows.h>

#include "platform/StopSignal.h"

namespace vx::detail {

void* CreateStopEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

void SetStopEvent(void* event) {
  if (event) ::SetEvent(static_cast<HANDLE>(event));
}

void CloseStopEvent(void* event) {
  if (event) ::CloseHandle(static_cast<HANDLE>(event));
}

}  // namespace vx::detail
