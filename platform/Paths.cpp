// Path text helpers common to both builds.
#include "platform/Files.h"
#include "platform/SeamsInternal.h"

namespace vx {
namespace {
bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }
}  // namespace

WStr ExtractFilePath(WView path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSep(path[i - 1]) || path[i - 1] == u':') return WStr(path.substr(0, i));
  }
  return WStr();
}

WStr ExtractFileName(WView path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSep(path[i - 1]) || path[i - 1] == u':') return WStr(path.substr(i));
  }
  return WStr(path);
}

WStr IncludeTrailingBackslash(WView path) { return IncludeTrailingBackslashText(path); }

WStr ExcludeTrailingBackslash(WView path) {
  WStr r(path);
  while (!r.empty() && IsSep(r.back())) r.pop_back();
  return r;
}

}  // namespace vx
