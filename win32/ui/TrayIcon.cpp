#include "win32/ui/TrayIcon.h"

#include <shellapi.h>

#include <cwchar>

#include "win32/ui/UiDraw.h"

namespace vx::ui {

namespace {
constexpr UINT kTrayId = 1;

// Menu captions are shown as written: a single '&' would otherwise turn the
// next letter into an accelerator.
std::wstring LiteralMenuText(WView caption) {
  std::wstring out;
  for (char16_t c : caption) {
    if (c == u'&') out += L'&';
    out += static_cast<wchar_t>(c);
  }
  return out;
}

HMENU BuildMenu(const std::vector<TrayMenuItem>& items) {
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return nullptr;
  for (const TrayMenuItem& item : items) {
    UINT flags = MF_STRING | (item.checked ? MF_CHECKED : 0u) | (item.enabled ? 0u : MF_GRAYED);
    UINT_PTR id = item.command;
    if (item.submenu) {
      HMENU sub = BuildMenu(item.items);
      if (!sub) continue;
      flags |= MF_POPUP;
      id = reinterpret_cast<UINT_PTR>(sub);  // destroyed with its parent
    }
    ::AppendMenuW(menu, flags, id, LiteralMenuText(item.caption).c_str());
  }
  return menu;
}
}  // namespace

Win32TrayIcon::Win32TrayIcon(HWND window, Handlers handlers) : window_(window), handlers_(std::move(handlers)) {
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  icon_ = static_cast<HICON>(::LoadImageW(module, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                          ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  if (!icon_) {
    icon_ = static_cast<HICON>(::LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, 0, 0, LR_SHARED));
    iconShared_ = true;
  }
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  // Let the message through to an elevated monitor as well.
  ::ChangeWindowMessageFilterEx(window_, taskbarCreated_, MSGFLT_ALLOW, nullptr);
  hint_ = L"Vantor Gaming Mouse Driver";
  Add();
}

Win32TrayIcon::~Win32TrayIcon() {
  if (added_) {
    NOTIFYICONDATAW d = Data(0);
    ::Shell_NotifyIconW(NIM_DELETE, &d);
  }
  // Icons loaded at a given size are owned; the shared fallback is not.
  if (icon_ && !iconShared_) ::DestroyIcon(icon_);
}

NOTIFYICONDATAW Win32TrayIcon::Data(UINT flags) const {
  NOTIFYICONDATAW d{};
  d.cbSize = sizeof d;
  d.hWnd = window_;
  d.uID = kTrayId;
  d.uFlags = flags;
  d.uCallbackMessage = WM_VX_TRAY;
  d.hIcon = icon_;
  std::wcsncpy(d.szTip, hint_.c_str(), std::size(d.szTip) - 1);
  return d;
}

bool Win32TrayIcon::Add() {
  NOTIFYICONDATAW d = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  added_ = ::Shell_NotifyIconW(NIM_ADD, &d) != FALSE;
  // An add that timed out may still have shown the icon: then it can be
  // modified.
  if (!added_) added_ = ::Shell_NotifyIconW(NIM_MODIFY, &d) != FALSE;
  return added_;
}

void Win32TrayIcon::SetHint(WView hint) {
  hint_ = W(hint);
  if (!added_) {
    Add();
    return;
  }
  NOTIFYICONDATAW d = Data(NIF_TIP);
  ::Shell_NotifyIconW(NIM_MODIFY, &d);
}

void Win32TrayIcon::SetMenu(std::vector<TrayMenuItem> items) { menu_ = std::move(items); }

void Win32TrayIcon::ShowNotification(WView title, WView text) {
  if (!added_ && !Add()) return;
  NOTIFYICONDATAW d = Data(NIF_INFO);
  const std::wstring t = W(title);
  const std::wstring x = W(text);
  std::wcsncpy(d.szInfoTitle, t.c_str(), std::size(d.szInfoTitle) - 1);
  std::wcsncpy(d.szInfo, x.c_str(), std::size(d.szInfo) - 1);
  d.dwInfoFlags = NIIF_WARNING;
  ::Shell_NotifyIconW(NIM_MODIFY, &d);
}

void Win32TrayIcon::ShowPopupMenu() {
  if (handlers_.OnMenuOpening) handlers_.OnMenuOpening();
  HMENU menu = BuildMenu(menu_);
  if (!menu) return;
  POINT pt{};
  ::GetCursorPos(&pt);
  // The menu closes when the user clicks elsewhere only if the owner is in
  // the foreground while it tracks.
  ::SetForegroundWindow(window_);
  const UINT command = static_cast<UINT>(
      ::TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x, pt.y, window_, nullptr));
  ::PostMessageW(window_, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
  if (command != 0 && handlers_.OnCommand) handlers_.OnCommand(static_cast<std::uint16_t>(command));
}

bool Win32TrayIcon::HandleMessage(UINT msg, WPARAM, LPARAM lp) {
  if (msg == WM_VX_TRAY) {
    switch (LOWORD(lp)) {
      case WM_LBUTTONUP:
        if (handlers_.OnClick) handlers_.OnClick();
        break;
      case WM_RBUTTONUP:
      case WM_CONTEXTMENU:
        ShowPopupMenu();
        break;
      default:
        break;
    }
    return true;
  }
  if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
    if (!Add() && handlers_.OnAddFailed) handlers_.OnAddFailed();
    return true;
  }
  return false;
}

}  // namespace vx::ui
