#include "i18n/LanguageResource.h"


namespace vx {
namespace {

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Int(std::int32_t& v) {
    if (bytes_.size() - pos_ < 4) return false;
    const std::uint32_t u = static_cast<std::uint32_t>(bytes_[pos_]) |
                            static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
                            static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
                            static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
    v = static_cast<std::int32_t>(u);
    pos_ += 4;
    return true;
  }

  // A length-prefixed text; the length is checked against what is left
  // before anything is allocated.
  bool Text(WStr& out, std::string& problem) {
    std::int32_t len = 0;
    if (!Int(len)) {
      problem = "truncated length";
      return false;
    }
    if (len < 0) {
      problem = "negative length";
      return false;
    }
    const std::size_t left = bytes_.size() - pos_;
    if (static_cast<std::size_t>(len) > left / 2) {
      problem = "length beyond the end of the data";
      return false;
    }
    out.resize(static_cast<std::size_t>(len));
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<char16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
      pos_ += 2;
    }
    return true;
  }

  std::size_t Left() const { return bytes_.size() - pos_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

void PutInt(std::vector<std::uint8_t>& out, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

void PutText(std::vector<std::uint8_t>& out, WView text) {
  PutInt(out, static_cast<std::int32_t>(text.size()));
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xff));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

bool IsLineBreak(char16_t c) {
  return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\u2028' || c == u'\u2029';
}

}  // namespace

LanguageResource ReadLanguageResource(std::span<const std::uint8_t> bytes) {
  LanguageResource r;
  Reader in(bytes);
  if (!in.Text(r.keyListText, r.problem)) {
    r.keyListText.clear();
    return r;
  }
  r.hasKeyList = true;
  std::int32_t count = 0;
  if (!in.Int(count)) {
    r.problem = "truncated language count";
    return r;
  }
  if (count < 0) {
    r.problem = "negative language count";
    return r;
  }
  // The count is trusted only as far as the data goes: no reserve().
  for (std::int32_t i = 0; i < count; ++i) {
    LanguageResourceEntry e;
    if (!in.Text(e.name, r.problem) || !in.Text(e.tableText, r.problem)) {
      r.problem = "language " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " + r.problem;
      return r;
    }
    r.languages.push_back(std::move(e));
  }
  return r;
}

std::vector<std::uint8_t> WriteLanguageResource(WView keyListText,
                                                std::span<const LanguageResourceEntry> languages) {
  std::vector<std::uint8_t> out;
  PutText(out, keyListText);
  PutInt(out, static_cast<std::int32_t>(languages.size()));
  for (const auto& l : languages) {
    PutText(out, l.name);
    PutText(out, l.tableText);
  }
  return out;
}

std::vector<WStr> SplitLines(WView text) {
  std::vector<WStr> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsLineBreak(text[i])) {
      ++i;
      continue;
    }
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    ++i;
    start = i;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

WStr JoinLines(std::span<const WStr> lines) {
  WStr out;
  std::size_t n = 0;
  for (const auto& l : lines) n += l.size() + 2;
  out.reserve(n);
  for (const auto& l : lines) {
    out += l;
    out += u"\r\n";
  }
  return out;
}

}  // namespace vx
