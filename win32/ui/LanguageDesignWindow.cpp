// The language designer window: a tab control of languages over a virtual
// list view of keys and translations, editable in place.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <string>

#include "i18n/LanguageDesignWindow.h"
#include "i18n/Languagetranslate.h"

namespace vx {
namespace {

constexpr wchar_t kClassName[] = L"TkwLanguageDesignForm";
constexpr wchar_t kPopupClassName[] = L"TkwLanguagePopupTextList";
constexpr wchar_t kCaption[] = L"Language Designer 1.2";
constexpr int kWidth = 930;
constexpr int kHeight = 508;

enum ControlId : int {
  IdLangCombo = 100,
  IdAddLanguage,
  IdDeleteLanguage,
  IdPrevPage,
  IdNextPage,
  IdTabControl,
  IdGrid,
  IdConstText,
  IdAddConstText,
  IdDeleteConstText,
  IdSaveToFile,
  IdTextList,
  IdCellEdit,
  IdMemo,
  IdSaveTextList,
};
// The designer opens rarely, so its common-control and file-dialog
// libraries are loaded when it first needs them: linked in, they would load
// with every program holding the translator and cost the idle monitor
// megabytes of private memory.
template <typename Fn>
Fn SystemProc(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (module == nullptr) module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct CommonControls {
  decltype(&::InitCommonControlsEx) init = nullptr;
  decltype(&::SetWindowSubclass) setSubclass = nullptr;
  decltype(&::RemoveWindowSubclass) removeSubclass = nullptr;
  decltype(&::DefSubclassProc) defSubclassProc = nullptr;
  bool Complete() const { return init && setSubclass && removeSubclass && defSubclassProc; }
};

const CommonControls& Comctl() {
  static const CommonControls c = [] {
    CommonControls r;
    r.init = SystemProc<decltype(r.init)>(L"comctl32.dll", "InitCommonControlsEx");
    r.setSubclass = SystemProc<decltype(r.setSubclass)>(L"comctl32.dll", "SetWindowSubclass");
    r.removeSubclass = SystemProc<decltype(r.removeSubclass)>(L"comctl32.dll", "RemoveWindowSubclass");
    r.defSubclassProc = SystemProc<decltype(r.defSubclassProc)>(L"comctl32.dll", "DefSubclassProc");
    return r;
  }();
  return c;
}

constexpr UINT kRunSelfTest = WM_APP + 1;
constexpr UINT kCommitCell = WM_APP + 2;

const wchar_t* W(const WStr& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

WStr WindowText(HWND h) {
  const int n = GetWindowTextLengthW(h);
  std::wstring buf(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(h, buf.data(), n + 1);
  buf.resize(static_cast<std::size_t>(n));
  return WStr(reinterpret_cast<const char16_t*>(buf.c_str()), buf.size());
}

HFONT UiFont() {
  static HFONT font = [] {
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return CreateFontIndirectW(&m.lfMessageFont);
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }();
  return font;
}

class DesignWindow {
 public:
  DesignWindow(TkwLanguage* lang, const LanguageDesignWindowOptions& options)
      : model_(lang), options_(options) {}

  int Run() {
    if (!RegisterClasses()) return 1;
    model_.Show();
    hwnd_ = CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                            CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr) return 1;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    if (options_.selfTest) PostMessageW(hwnd_, kRunSelfTest, 0, 0);
    MSG msg;
    while (IsWindow(hwnd_) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageW(hwnd_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return result_;
  }

 private:
  static bool RegisterClasses() {
    if (!Comctl().Complete()) return false;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    Comctl().init(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpfnWndProc = &DesignWindow::Proc;
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    wc.lpfnWndProc = &DesignWindow::PopupProc;
    wc.lpszClassName = kPopupClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    return true;
  }

  static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
      self = static_cast<DesignWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->hwnd_ = h;
    }
    if (self != nullptr) return self->Handle(msg, wp, lp);
    return DefWindowProcW(h, msg, wp, lp);
  }

  HWND Control(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
               DWORD exStyle = 0, HWND parent = nullptr) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                             parent != nullptr ? parent : hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), TRUE);
    return c;
  }

  void CreateControls() {
    Control(L"STATIC", L"Langs List\xFF1A", SS_RIGHT, 8, 12, 82, 20, -1);
    combo_ = Control(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 94, 8, 262, 320, IdLangCombo);
    for (const auto& name : model_.LangComboItems()) SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(name)));
    SendMessageW(combo_, CB_SETCURSEL, 0, 0);
    Control(WC_BUTTONW, L"Add Language", BS_PUSHBUTTON | WS_TABSTOP, 364, 7, 112, 26, IdAddLanguage);
    Control(WC_BUTTONW, L"Delete Language", BS_PUSHBUTTON | WS_TABSTOP, 482, 7, 124, 26, IdDeleteLanguage);
    Control(WC_BUTTONW, L"Prev Page", BS_PUSHBUTTON | WS_TABSTOP, 708, 7, 96, 26, IdPrevPage);
    Control(WC_BUTTONW, L"Next Page", BS_PUSHBUTTON | WS_TABSTOP, 810, 7, 96, 26, IdNextPage);
    tabs_ = Control(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, 8, 40, 898, 330, IdTabControl);
    grid_ = Control(WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, 14, 66,
                    886, 298, IdGrid);
    ListView_SetExtendedListViewStyle(grid_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 380;
    col.pszText = const_cast<wchar_t*>(L"Key");
    ListView_InsertColumn(grid_, 0, &col);
    col.cx = 440;
    col.pszText = const_cast<wchar_t*>(L"Translation");
    ListView_InsertColumn(grid_, 1, &col);
    SetWindowPos(grid_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Control(L"STATIC", L"Type Text to translate:", SS_LEFT, 8, 384, 150, 20, -1);
    constText_ = Control(WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, 160, 380, 300, 24, IdConstText, WS_EX_CLIENTEDGE);
    Control(WC_BUTTONW, L"Add Const Text", BS_PUSHBUTTON | WS_TABSTOP, 468, 379, 124, 26, IdAddConstText);
    Control(WC_BUTTONW, L"Delete Item From List", BS_PUSHBUTTON | WS_TABSTOP, 598, 379, 160, 26, IdDeleteConstText);
    Control(WC_BUTTONW, L"Save to language file", BS_PUSHBUTTON | WS_TABSTOP, 8, 420, 170, 28, IdSaveToFile);
    Control(WC_BUTTONW, L"Get/Set Text List", BS_PUSHBUTTON | WS_TABSTOP, 186, 420, 150, 28, IdTextList);
  }

  // Tab headers from the model's visible page, then the grid of the
  // current tab.
  void Refresh() {
    CancelEdit();
    TabCtrl_DeleteAllItems(tabs_);
    const auto visible = model_.VisibleTabs();
    int selected = -1;
    for (std::size_t i = 0; i < visible.size(); ++i) {
      const auto& tab = model_.Tabs()[static_cast<std::size_t>(visible[i])];
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<wchar_t*>(W(tab.title));
      TabCtrl_InsertItem(tabs_, static_cast<int>(i), &item);
      if (visible[i] == model_.TabIndex()) selected = static_cast<int>(i);
    }
    TabCtrl_SetCurSel(tabs_, selected);
    RefreshGrid();
  }

  void RefreshGrid() {
    const int rows = model_.TabIndex() < 0 ? 0
                                           : static_cast<int>(model_.Tabs()[static_cast<std::size_t>(model_.TabIndex())].rows.size());
    ListView_SetItemCountEx(grid_, rows, LVSICF_NOSCROLL);
    InvalidateRect(grid_, nullptr, TRUE);
  }

  const TkwLanguageDesignForm::GridRow* Row(int row) const {
    if (model_.TabIndex() < 0 || row < 0) return nullptr;
    const auto& rows = model_.Tabs()[static_cast<std::size_t>(model_.TabIndex())].rows;
    return row < static_cast<int>(rows.size()) ? &rows[static_cast<std::size_t>(row)] : nullptr;
  }

  // In-place editing of column 1.
  void BeginEdit(int row) {
    CommitEdit();
    const auto* r = Row(row);
    if (r == nullptr || r->key.empty()) return;
    ListView_EnsureVisible(grid_, row, FALSE);
    RECT rc{};
    if (!ListView_GetSubItemRect(grid_, row, 1, LVIR_LABEL, &rc)) return;
    editRow_ = row;
    edit_ = Control(WC_EDITW, W(r->translation), ES_AUTOHSCROLL | WS_BORDER, rc.left, rc.top, rc.right - rc.left,
                    rc.bottom - rc.top + 2, IdCellEdit, 0, grid_);
    Comctl().setSubclass(edit_, &DesignWindow::EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    SendMessageW(edit_, EM_SETSEL, 0, -1);
    SetFocus(edit_);
  }

  void CommitEdit() {
    if (edit_ == nullptr) return;
    model_.SetCell(editRow_, WindowText(edit_));
    CancelEdit();
    ListView_RedrawItems(grid_, editRow_, editRow_);
  }

  void CancelEdit() {
    if (edit_ == nullptr) return;
    HWND e = edit_;
    edit_ = nullptr;
    Comctl().removeSubclass(e, &DesignWindow::EditProc, 1);
    DestroyWindow(e);
  }

  static LRESULT CALLBACK EditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<DesignWindow*>(data);
    switch (msg) {
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
      case WM_KEYDOWN:
        if (wp == VK_RETURN) {
          PostMessageW(self->hwnd_, kCommitCell, 0, 0);
          return 0;
        }
        if (wp == VK_ESCAPE) {
          self->CancelEdit();
          return 0;
        }
        break;
      case WM_KILLFOCUS:
        PostMessageW(self->hwnd_, kCommitCell, 0, 0);
        break;
      default:
        break;
    }
    return Comctl().defSubclassProc(h, msg, wp, lp);
  }

  int SelectedRow() const { return ListView_GetNextItem(grid_, -1, LVNI_SELECTED); }

  void Command(int id) {
    CommitEdit();
    switch (id) {
      case IdAddLanguage:
        model_.AddLanguage(static_cast<int>(SendMessageW(combo_, CB_GETCURSEL, 0, 0)));
        Refresh();
        break;
      case IdDeleteLanguage:
        model_.DeleteLanguage();
        Refresh();
        break;
      case IdPrevPage:
        model_.PrevPage();
        Refresh();
        break;
      case IdNextPage:
        model_.NextPage();
        Refresh();
        break;
      case IdAddConstText:
        if (model_.AddConstText(WindowText(constText_))) {
          SetWindowTextW(constText_, L"");
          RefreshGrid();
        }
        break;
      case IdDeleteConstText:
        if (model_.DeleteItemFromList(SelectedRow())) RefreshGrid();
        break;
      case IdSaveToFile:
        Save();
        break;
      case IdTextList:
        ShowTextList();
        break;
      default:
        break;
    }
  }

  void Save() {
    switch (model_.SaveToLanguageFile()) {
      case TkwLanguageDesignForm::SaveResult::Failed:
        saved_ = false;
        if (!options_.selfTest) {
          MessageBoxW(hwnd_, W(u"The language file could not be written:\n" + LanguageFilePath()), kCaption,
                      MB_OK | MB_ICONERROR);
        }
        break;
      case TkwLanguageDesignForm::SaveResult::SavedAndClose:
        saved_ = true;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        break;
      case TkwLanguageDesignForm::SaveResult::Saved:
        saved_ = true;
        break;
    }
  }

  // The bulk text view: a modal popup with the current tab's lines.
  void ShowTextList() {
    if (model_.TabIndex() < 0) return;
    RECT rc{};
    GetWindowRect(hwnd_, &rc);
    popup_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kPopupClassName, L"Get/Set Text List",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, rc.left + 40, rc.top + 40, 700, 420, hwnd_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (popup_ == nullptr) return;
    SetWindowLongPtrW(popup_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    memo_ = Control(WC_EDITW, L"", ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_VSCROLL |
                                     WS_HSCROLL | WS_TABSTOP,
                    8, 8, 670, 330, IdMemo, WS_EX_CLIENTEDGE, popup_);
    SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
    SetWindowTextW(memo_, W(model_.GetTextList()));
    Control(WC_BUTTONW, L"Save", BS_PUSHBUTTON | WS_TABSTOP, 578, 346, 100, 28, IdSaveTextList, 0, popup_);
    EnableWindow(hwnd_, FALSE);
    ShowWindow(popup_, SW_SHOWNORMAL);
    MSG msg;
    while (popup_ != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (popup_ != nullptr) DestroyWindow(popup_);  // WM_QUIT while open
    EnableWindow(hwnd_, TRUE);
    SetForegroundWindow(hwnd_);
    Refresh();
  }

  static LRESULT CALLBACK PopupProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (self != nullptr) {
      if (msg == WM_COMMAND && LOWORD(wp) == IdSaveTextList) {
        self->model_.SaveTextList(WindowText(self->memo_));
        DestroyWindow(h);
        return 0;
      }
      if (msg == WM_CLOSE) {
        DestroyWindow(h);
        return 0;
      }
      if (msg == WM_DESTROY) self->popup_ = nullptr;
    }
    return DefWindowProcW(h, msg, wp, lp);
  }

  LRESULT Notify(NMHDR* n) {
    if (n->hwndFrom == tabs_ && n->code == TCN_SELCHANGE) {
      CommitEdit();
      model_.SelectTab(model_.FirstVisibleTab() + TabCtrl_GetCurSel(tabs_));
      RefreshGrid();
      return 0;
    }
    if (n->hwndFrom != grid_) return 0;
    switch (n->code) {
      case LVN_GETDISPINFOW: {
        auto* di = reinterpret_cast<NMLVDISPINFOW*>(n);
        if ((di->item.mask & LVIF_TEXT) != 0 && di->item.cchTextMax > 0) {
          const auto* r = Row(di->item.iItem);
          const WStr& text = r == nullptr ? empty_ : (di->item.iSubItem == 0 ? r->key : r->translation);
          lstrcpynW(di->item.pszText, W(text), di->item.cchTextMax);
        }
        return 0;
      }
      case NM_DBLCLK:
        BeginEdit(reinterpret_cast<NMITEMACTIVATE*>(n)->iItem);
        return 0;
      case LVN_KEYDOWN: {
        const auto key = reinterpret_cast<NMLVKEYDOWN*>(n)->wVKey;
        if (key == VK_F2 || key == VK_RETURN) BeginEdit(SelectedRow());
        return 0;
      }
      default:
        return 0;
    }
  }

  // The self test drives the real controls: pick the language in the
  // combo box, press Add Language, type a key, press Add Const Text, edit
  // its cell, press Save.
  void RunSelfTest() {
    const auto& locales = model_.DesignerLocaleTable();
    int index = -1;
    for (std::size_t i = 0; i < locales.size(); ++i) {
      if (SameTextIgnoreCase(locales[i].languageId, options_.selfTestLanguage)) {
        index = static_cast<int>(i);
        break;
      }
    }
    if (index < 0 && !locales.empty()) index = 0;
    SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IdAddLanguage, BN_CLICKED), 0);
    SetWindowTextW(constText_, L"Self Test Key");
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IdAddConstText, BN_CLICKED), 0);
    const int row = model_.Language()->Original().IndexOf(u"Self Test Key");
    BeginEdit(row);
    if (edit_ != nullptr) {
      SetWindowTextW(edit_, L"\x81EA\x6D4B");
      CommitEdit();
    }
    saved_ = false;
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IdSaveToFile, BN_CLICKED), 0);
    result_ = saved_ ? 0 : 1;
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CREATE:
        CreateControls();
        Refresh();
        return 0;
      case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && LOWORD(wp) >= IdAddLanguage) Command(LOWORD(wp));
        return 0;
      case WM_NOTIFY:
        return Notify(reinterpret_cast<NMHDR*>(lp));
      case kCommitCell:
        CommitEdit();
        return 0;
      case kRunSelfTest:
        RunSelfTest();
        return 0;
      case WM_CLOSE:
        CommitEdit();
        if (!options_.selfTest && model_.Modified()) {
          const int answer = MessageBoxW(hwnd_, L"Save the changes to the language file?", kCaption,
                                         MB_YESNOCANCEL | MB_ICONQUESTION);
          if (answer == IDCANCEL) return 0;
          if (answer == IDYES) {
            Save();
            if (!saved_) return 0;
          }
        }
        DestroyWindow(hwnd_);
        return 0;
      case WM_DESTROY:
        hwnd_ = nullptr;
        return 0;
      default:
        return DefWindowProcW(hwnd_, msg, wp, lp);
    }
  }

  TkwLanguageDesignForm model_;
  LanguageDesignWindowOptions options_;
  HWND hwnd_ = nullptr;
  HWND combo_ = nullptr;
  HWND tabs_ = nullptr;
  HWND grid_ = nullptr;
  HWND constText_ = nullptr;
  HWND edit_ = nullptr;
  HWND popup_ = nullptr;
  HWND memo_ = nullptr;
  int editRow_ = -1;
  bool saved_ = false;
  int result_ = 0;
  WStr empty_;
};

}  // namespace

int ShowLanguageDesignWindow(TkwLanguage* lang, const LanguageDesignWindowOptions& options) {
  DesignWindow window(lang, options);
  return window.Run();
}

namespace detail {

// Modal on the window that was active when design mode opened it.
void PlatformOpenLanguageDesigner(TkwLanguage& component) {
  HWND owner = GetActiveWindow();
  if (owner != nullptr) EnableWindow(owner, FALSE);
  ShowLanguageDesignWindow(&component);
  if (owner != nullptr) {
    EnableWindow(owner, TRUE);
    SetForegroundWindow(owner);
  }
}

WStr PlatformChooseLanguageFile() {
  wchar_t file[MAX_PATH] = L"";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = L"Language Files\0*.Local\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  static const auto open = SystemProc<decltype(&::GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
  if (open == nullptr || !open(&ofn)) return {};
  return WStr(reinterpret_cast<const char16_t*>(file));
}

}  // namespace detail
}  // namespace vx
