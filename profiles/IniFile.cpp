#include "profiles/IniFile.h"

#include "platform/Files.h"

namespace vx {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xFEFF; }

WStr Trim(WView s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return WStr(s.substr(b, e - b));
}

WStr Decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    WStr out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      out += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    return out;
  }
  std::size_t skip = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) skip = 3;
  return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()) + skip, bytes.size() - skip));
}

}  // namespace

std::optional<long long> ParseIniInteger(WView text) {
  const WStr t = Trim(text);
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) neg = t[i++] == u'-';
  int base = 10;
  if (i < t.size() && t[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == u'0' && (t[i + 1] == u'x' || t[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return std::nullopt;
  unsigned long long v = 0;
  for (; i < t.size(); ++i) {
    const char16_t c = t[i];
    int d;
    if (c >= u'0' && c <= u'9') {
      d = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      d = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      d = c - u'A' + 10;
    } else {
      return std::nullopt;
    }
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > 0x7FFFFFFFFFFFull) return std::nullopt;
  }
  const auto r = static_cast<long long>(v);
  return neg ? -r : r;
}

IniFile IniFile::Load(WView path) {
  auto data = ReadWholeFile(path);
  if (!data) return IniFile();
  return Parse(*data);
}

IniFile IniFile::Parse(std::span<const std::uint8_t> bytes) {
  IniFile ini;
  const WStr text = Decode(bytes);
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == WStr::npos) end = text.size();
    const WStr line = Trim(WView(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      const std::size_t close = line.find(u']');
      const WStr name = Trim(WView(line).substr(1, close == WStr::npos ? WStr::npos : close - 1));
      ini.sections_.push_back({name, {}});
      current = &ini.sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    const std::size_t eq = line.find(u'=');
    Entry e;
    if (eq == WStr::npos) {
      e.key = line;
    } else {
      e.key = Trim(WView(line).substr(0, eq));
      e.value = Trim(WView(line).substr(eq + 1));
      // Matching quotes around the whole value are not part of it.
      if (e.value.size() >= 2 && (e.value.front() == u'"' || e.value.front() == u'\'') &&
          e.value.back() == e.value.front()) {
        e.value = e.value.substr(1, e.value.size() - 2);
      }
    }
    current->entries.push_back(std::move(e));
  }
  return ini;
}

const IniFile::Section* IniFile::FindSection(WView section) const {
  for (const auto& s : sections_) {
    if (SameTextIgnoreCase(s.name, section)) return &s;
  }
  return nullptr;
}

bool IniFile::HasSection(WView section) const { return FindSection(section) != nullptr; }

std::optional<WStr> IniFile::Find(WView section, WView key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return std::nullopt;
  for (const auto& e : s->entries) {
    if (SameTextIgnoreCase(e.key, key)) return e.value;
  }
  return std::nullopt;
}

WStr IniFile::ReadString(WView section, WView key, WView def) const {
  auto v = Find(section, key);
  return v ? *v : WStr(def);
}

long long IniFile::ReadInteger(WView section, WView key, long long def) const {
  auto v = Find(section, key);
  if (!v) return def;
  auto n = ParseIniInteger(*v);
  return n ? *n : def;
}

std::vector<WStr> IniFile::SectionKeys(WView section) const {
  std::vector<WStr> keys;
  if (const Section* s = FindSection(section)) {
    for (const auto& e : s->entries) keys.push_back(e.key);
  }
  return keys;
}

std::vector<std::uint8_t> IniWithValue(std::span<const std::uint8_t> bytes, WView section, WView key, WView value) {
  const bool utf16 = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  const bool bom = !utf16 && bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
  WStr text = Decode(bytes);
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  const WStr newline = text.find(u"\r\n") != WStr::npos || text.find(u'\n') == WStr::npos ? u"\r\n" : u"\n";
  // Built by appending: gcc 12 at -O3 warns wrongly on literal + string.
  WStr line(key);
  line.append(u"=").append(value);
  bool inSection = false;
  bool sectionSeen = false;  // the reader uses the first one only
  std::size_t insertAt = WStr::npos;  // after the section's last non-blank line
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", pos);
    if (end == WStr::npos) end = text.size();
    std::size_t next = end;
    if (next < text.size() && text[next] == u'\r') ++next;
    if (next < text.size() && text[next] == u'\n') ++next;
    const WStr t = Trim(WView(text).substr(pos, end - pos));
    if (!t.empty() && t[0] == u'[') {
      const std::size_t close = t.find(u']');
      inSection = !sectionSeen && close != WStr::npos &&
                  SameTextIgnoreCase(Trim(WView(t).substr(1, close - 1)), section);
      sectionSeen = sectionSeen || inSection;
      if (inSection) insertAt = next;
    } else if (inSection) {
      const std::size_t eq = t.find(u'=');
      if (eq != WStr::npos && t[0] != u';' && SameTextIgnoreCase(Trim(WView(t).substr(0, eq)), key)) {
        text.replace(pos, end - pos, line);
        insertAt = WStr::npos;
        inSection = false;
        pos = WStr::npos;
        break;
      }
      if (!t.empty()) insertAt = next;
    }
    pos = next;
  }
  if (pos != WStr::npos) {
    if (insertAt != WStr::npos) {
      WStr add;
      if (insertAt > 0 && text[insertAt - 1] != u'\n') add.append(newline);
      add.append(line).append(newline);
      text.insert(insertAt, add);
    } else {
      if (!text.empty() && text.back() != u'\n') text.append(newline);
      text.append(u"[").append(section).append(u"]").append(newline).append(line).append(newline);
    }
  }
  std::vector<std::uint8_t> out;
  if (utf16) {
    out = {0xFF, 0xFE};
    for (char16_t c : text) {
      out.push_back(static_cast<std::uint8_t>(c & 0xFF));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
  }
  if (bom) out = {0xEF, 0xBB, 0xBF};
  const std::string u = ToUtf8(text);
  out.insert(out.end(), u.begin(), u.end());
  return out;
}

bool WriteIniValue(WView path, WView section, WView key, WView value) {
  const auto old = ReadWholeFile(path);
  const std::vector<std::uint8_t> empty;
  return WriteFileAtomic(path, IniWithValue(old ? *old : empty, section, key, value));
}

}  // namespace vx
