#pragma once
// An in-memory registry for tests: keys compared case-insensitively.
#include <map>
#include <set>

#include "platform/Registry.h"

namespace vx::test {

class MemRegistry final : public IRegistry {
 public:
  bool CreateKey(RegRoot root, WView path) override {
    keys.insert(Key(root, path));
    return true;
  }
  bool KeyExists(RegRoot root, WView path) override { return keys.count(Key(root, path)) != 0; }
  std::optional<RegValue> QueryValue(RegRoot root, WView path, WView name) override {
    auto it = values.find({Key(root, path), AsciiUpper(name)});
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool SetValue(RegRoot root, WView path, WView name, RegType type,
                std::span<const std::uint8_t> data) override {
    if (!KeyExists(root, path) || refused.count(AsciiUpper(name)) != 0) return false;
    ++writes;
    values[{Key(root, path), AsciiUpper(name)}] = RegValue{type, {data.begin(), data.end()}};
    return true;
  }
  bool DeleteValue(RegRoot root, WView path, WView name) override {
    return values.erase({Key(root, path), AsciiUpper(name)}) != 0;
  }

  std::set<WStr> keys;
  std::map<std::pair<WStr, WStr>, RegValue> values;
  int writes = 0;
  std::set<WStr> refused;  // upper-case value names whose writes fail

 private:
  static WStr Key(RegRoot root, WView path) { return IntToWStr(root) + u"\\" + AsciiUpper(path); }
};

}  // namespace vx::test
