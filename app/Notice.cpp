#include "app/Notice.h"

#include "platform/Debug.h"

namespace vx {

WView NoticeKey(NoticeKind kind) {
  switch (kind) {
    case NoticeKind::MicrophoneMuted:
      return u"Microphone muted";
    case NoticeKind::MicrophoneOn:
      return u"Microphone on";
    case NoticeKind::NoMicrophone:
      return u"No microphone";
    case NoticeKind::ProfileSwitched:
      return u"Profile group";
    case NoticeKind::RecordingStarted:
      return u"Recording macro";
    case NoticeKind::MacroSaved:
      return u"Macro saved";
    case NoticeKind::MacroNotSaved:
      return u"Macro could not be saved";
    case NoticeKind::MouseNotWritten:
      return u"The mouse could not be written; the macro is saved on the computer";
    case NoticeKind::NothingRecorded:
      return u"Nothing recorded";
    case NoticeKind::MacroNotPlayed:
      return u"Macro could not play";
    case NoticeKind::ProfilesRestored:
      return u"The profiles were restored.";
    case NoticeKind::MouseConnected:
      return u"Mouse connected";
    case NoticeKind::MouseDisconnected:
      return u"Mouse disconnected";
  }
  return u"";
}

bool NoticeSuppressedIn(int state) { return state == kQunsRunningD3DFullScreen || state == kQunsPresentationMode; }

void TNotices::Post(NoticeKind, WView text) {
  DebugOutput(u"notice: " + WStr(text));
  if (!enabled_ || !window_) return;
  text_ = WStr(text);
  if (pending_) return;
  pending_ = true;
  if (post_) post_();
}

void TNotices::ShowPending() {
  if (!pending_) return;
  pending_ = false;
  if (!enabled_ || !window_) return;
  const int state = window_->UserNotificationState();
  if (NoticeSuppressedIn(state)) {
    DebugOutput(u"notice not shown: a full-screen application or presentation is in the foreground");
    return;
  }
  window_->Show(text_);
}

}  // namespace vx
