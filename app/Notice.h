#pragma once
// The on-screen notice: a short text at the bottom of the screen that says
// what the mouse just did. The event is logged at once; the drawing follows
// from the message loop, so the action a report asked for is never delayed.
#include <cstdint>
#include <functional>

#include "platform/Text.h"
#include "platform/WindowSystem.h"

namespace vx {

enum class NoticeKind : std::uint8_t {
  MicrophoneMuted,
  MicrophoneOn,
  NoMicrophone,
  ProfileSwitched,
  RecordingStarted,
  MacroSaved,
  MacroNotSaved,
  MouseNotWritten,  // saved on the computer, refused by the mouse
  NothingRecorded,
  MacroNotPlayed,
  ProfilesRestored,
  MouseConnected,
  MouseDisconnected,
};

// The English text (the language tables' key) of each kind; the profile
// switch adds the group and name itself.
WView NoticeKey(NoticeKind kind);

// The drawn window, one per process. Show replaces the text showing and
// hides itself after kNoticeShowMs.
class INoticeWindow {
 public:
  virtual ~INoticeWindow() = default;
  virtual void Show(WView text) = 0;
  // SHQueryUserNotificationState's answer (QUERY_USER_NOTIFICATION_STATE).
  virtual int UserNotificationState() = 0;
};

inline constexpr std::uint32_t kNoticeShowMs = 1500;
// QUNS_RUNNING_D3D_FULL_SCREEN and QUNS_PRESENTATION_MODE: a topmost window
// could knock the game out of exclusive mode, or show on a projector.
inline constexpr int kQunsRunningD3DFullScreen = 3;
inline constexpr int kQunsPresentationMode = 4;
bool NoticeSuppressedIn(int userNotificationState);

// Monitor -> itself (posted): draw the pending notice.
inline constexpr std::uint32_t WM_VX_SHOW_NOTICE = 7525;

class TNotices {
 public:
  // post: queues WM_VX_SHOW_NOTICE to the monitor window.
  TNotices(INoticeWindow* window, std::function<void()> post) : window_(window), post_(std::move(post)) {}

  // config.ini [OtherConfig] Notice=0 turns it off.
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Enabled() const { return enabled_; }

  // Logs the event and, when notices are on, asks the loop to draw it. A
  // newer notice replaces one not drawn yet: one message in the queue at most.
  void Post(NoticeKind kind, WView text);
  // The loop's part: draws the newest pending text unless the foreground
  // application runs full-screen exclusive or presents.
  void ShowPending();

  bool Pending() const { return pending_; }

 private:
  INoticeWindow* window_;
  std::function<void()> post_;
  bool enabled_ = true;
  bool pending_ = false;
  WStr text_;
};

}  // namespace vx
