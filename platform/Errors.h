#pragma once
// The one exception type of the project: store and file errors that callers
// let propagate (registry read errors, file open/create errors, folder
// creation failures).
#include <stdexcept>
#include <string>

namespace vx {

class VXError : public std::runtime_error {
 public:
  enum class Kind { RegistryRead, RegistryWrite, FileOpen, FileCreate, FolderCreate, Other };
  VXError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

}  // namespace vx
