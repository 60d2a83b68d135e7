// vxprofile lang list [--file FILE]
// vxprofile lang lookup [--file FILE] --lang NAME TEXT
// The language set is FILE's languages (default: "kw.local" beside the
// executable, when present) followed by the embedded ones.
#include <cstdio>
#include <string>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/kwLanguage.h"
#include "platform/Files.h"
#include "tools/vxprofile/Commands.h"

namespace vx::cli {
namespace {

constexpr const char* kUsage =
    "lang list [--file FILE] | lang lookup [--file FILE] --lang NAME TEXT";

// The set as the monitor builds it, without selecting the system's
// language, so a lookup depends only on its arguments.
bool LoadSet(TkwLanguage& lang, const std::string& file) {
  lang.ClearLanguages();
  const WStr path = file.empty() ? LanguageFilePath() : FromNativePath(file);
  if (!file.empty() && !FileExists(path)) {
    Fail("lang: cannot open " + file);
    return false;
  }
  if (FileExists(path)) {
    std::string problem;
    if (!lang.LoadFromFile(path, &problem)) {
      std::fprintf(stderr, "vxprofile: warning: %s is malformed (%s); using what could be read\n",
                   ToUtf8(path).c_str(), problem.c_str());
    }
  }
  lang.ReadLanguageStream(EmbeddedLanguageResource());
  return true;
}

int RunLang(Context& ctx) {
  if (ctx.args.empty()) return Fail(std::string("usage: ") + kUsage);
  const std::string sub = ctx.args[0];
  std::string file, name, text;
  bool haveName = false, haveText = false;
  for (std::size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--file" && i + 1 < ctx.args.size()) {
      file = ctx.args[++i];
    } else if (a == "--lang" && i + 1 < ctx.args.size()) {
      name = ctx.args[++i];
      haveName = true;
    } else if (sub == "lookup" && !haveText) {
      text = a;
      haveText = true;
    } else {
      return Fail("lang: unexpected argument " + a);
    }
  }
  TkwLanguage lang(nullptr);
  if (sub == "list") {
    if (haveName) return Fail(std::string("usage: ") + kUsage);
    if (!LoadSet(lang, file)) return 2;
    const auto& set = lang.Resources();
    for (std::size_t i = 0; i < set.size(); ++i) {
      std::printf("%zu\t%s\t%zu\n", i, ToUtf8(set[i].name).c_str(), set[i].table.Count());
    }
    return 0;
  }
  if (sub == "lookup") {
    if (!haveName || !haveText) return Fail(std::string("usage: ") + kUsage);
    if (!LoadSet(lang, file)) return 2;
    lang.SetLang(FromUtf8(name));
    const std::string out = ToUtf8(LookupTranslation(FromUtf8(text)));
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    ResetLanguageTable();
    return 0;
  }
  return Fail(std::string("usage: ") + kUsage);
}

}  // namespace

VX_COMMAND("lang", kUsage, RunLang);

}  // namespace vx::cli
