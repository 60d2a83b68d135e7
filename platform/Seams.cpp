// Overrides shared by both builds' seam implementations.
#include <chrono>
#include <mutex>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Locale.h"
#include "platform/Log.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/SeamsInternal.h"

namespace vx {
namespace {
std::mutex g_mutex;
DebugSink g_sink;
std::function<std::uint32_t()> g_tick;
std::function<double()> g_now;
std::function<std::uint16_t()> g_lang;
WStr g_documents;
WStr g_exeFolder;
MessageBoxSink g_box;
}  // namespace

void SetDebugSink(DebugSink sink) {
  std::lock_guard lock(g_mutex);
  g_sink = std::move(sink);
}

void DebugOutput(WView text) {
  DebugSink sink;
  bool nowReplaced = false;
  {
    std::lock_guard lock(g_mutex);
    sink = g_sink;
    nowReplaced = static_cast<bool>(g_now);
  }
  if (sink) {
    sink(text);
  } else {
    detail::PlatformDebugOutput(text);
  }
  if (ILogWriter* log = CurrentLogWriter()) {
    LogLine line{0, CurrentThreadId(), WStr(text), 0};
    // The caller only reads the clock; local time is the writer's work.
    if (nowReplaced) {
      line.time = NowAsOleDate();
    } else {
      line.systemMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    }
    log->Write(std::move(line));
  }
}

void DebugOutput(std::string_view utf8) { DebugOutput(FromUtf8(utf8)); }

void SetMessageBoxSink(MessageBoxSink sink) {
  std::lock_guard lock(g_mutex);
  g_box = std::move(sink);
}

void ShowMessageBox(WView text, WView caption, MessageBoxIcon icon) {
  MessageBoxSink sink;
  {
    std::lock_guard lock(g_mutex);
    sink = g_box;
  }
  if (sink) {
    sink(text, caption);
  } else {
    detail::PlatformMessageBox(text, caption, icon == MessageBoxIcon::Error);
  }
}

void SetTickCountSource(std::function<std::uint32_t()> source) {
  std::lock_guard lock(g_mutex);
  g_tick = std::move(source);
}

std::uint32_t TickCount() {
  {
    std::lock_guard lock(g_mutex);
    if (g_tick) return g_tick();
  }
  return detail::PlatformTickCount();
}

void SetNowSource(std::function<double()> source) {
  std::lock_guard lock(g_mutex);
  g_now = std::move(source);
}

double NowAsOleDate() {
  {
    std::lock_guard lock(g_mutex);
    if (g_now) return g_now();
  }
  return detail::PlatformNowAsOleDate();
}

void SetSystemDefaultLangIDSource(std::function<std::uint16_t()> source) {
  std::lock_guard lock(g_mutex);
  g_lang = std::move(source);
}

std::uint16_t SystemDefaultLangID() {
  {
    std::lock_guard lock(g_mutex);
    if (g_lang) return g_lang();
  }
  return detail::PlatformSystemDefaultLangID();
}

void SetDocumentsFolderOverride(WView folder) {
  std::lock_guard lock(g_mutex);
  g_documents = WStr(folder);
}

WStr DocumentsFolder() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_documents.empty()) return g_documents;
  }
  return detail::PlatformDocumentsFolder();
}

void SetExecutableFolderOverride(WView folder) {
  std::lock_guard lock(g_mutex);
  g_exeFolder = folder.empty() ? WStr() : IncludeTrailingBackslashText(folder);
}

WStr ExecutableFolder() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_exeFolder.empty()) return g_exeFolder;
  }
  return detail::PlatformExecutableFolder();
}

WStr IncludeTrailingBackslashText(WView path) {
  WStr r(path);
  if (r.empty() || (r.back() != u'\\' && r.back() != u'/')) r += u'\\';
  return r;
}

}  // namespace vx
