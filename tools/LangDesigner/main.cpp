// LangDesigner.exe [/selftest [LANGID]]
// Opens the language designer on "kw.local" beside the program. /selftest
// adds a language (default 0804) and a key through the window's controls,
// saves and exits with 0 when the file was written.
#include <windows.h>
#include <shellapi.h>

#include "i18n/LanguageDesignWindow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vx::LanguageDesignWindowOptions options;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    if (lstrcmpiW(argv[i], L"/selftest") == 0 || lstrcmpiW(argv[i], L"--selftest") == 0) {
      options.selfTest = true;
      if (i + 1 < argc && argv[i + 1][0] != L'/' && argv[i + 1][0] != L'-') {
        options.selfTestLanguage = reinterpret_cast<const char16_t*>(argv[++i]);
      }
    }
  }
  LocalFree(argv);
  return vx::ShowLanguageDesignWindow(nullptr, options);
}
