// kwlocal OUTPUT SOURCE...: writes the language file "kw.local" from plain
// text translation sources, one per language, in the order given. A source
// is UTF-8 with one "key=translation" line per text; its file name without
// extension is the language's name (a locale id such as 0409, so that the
// language designer shows it). The key list is every key of every source.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "i18n/LanguageResource.h"
#include "i18n/LanguageTable.h"
#include "platform/Text.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "kwlocal: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Fail("usage: kwlocal OUTPUT SOURCE...");
  std::vector<vx::LanguageResourceEntry> languages;
  std::set<vx::WStr> keys;
  for (int i = 2; i < argc; ++i) {
    const std::filesystem::path source(argv[i]);
    std::ifstream in(source, std::ios::binary);
    if (!in) return Fail("cannot read " + source.string());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    vx::TLanguageTable table;
    std::set<vx::WStr> seen;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      start = end + 1;
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      // Keys may start or end with blanks, so nothing is trimmed.
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos || eq == 0) {
        return Fail(source.string() + ":" + std::to_string(number) + ": not a key=translation line");
      }
      const vx::WStr key = vx::FromUtf8(line.substr(0, eq));
      if (!seen.insert(key).second) {
        return Fail(source.string() + ":" + std::to_string(number) + ": key given twice");
      }
      keys.insert(key);
      table.Add(vx::FromUtf8(line));
    }
    languages.push_back({vx::FromUtf8(source.stem().string()), table.Text()});
  }
  const std::vector<vx::WStr> keyLines(keys.begin(), keys.end());
  const auto bytes = vx::WriteLanguageResource(vx::JoinLines(keyLines), languages);
  const std::filesystem::path output(argv[1]);
  const std::filesystem::path temp = output.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return Fail("cannot write " + temp.string());
  }
  std::filesystem::rename(temp, output);
  return 0;
}
