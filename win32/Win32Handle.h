#pragma once
// Owning wrappers for Win32 handles: the empty value is part of the type
// (nullptr for most handles, INVALID_HANDLE_VALUE for files).
#include <windows.h>

#include <utility>

namespace vx::win {

template <typename T, T Empty, typename Closer>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T h) : h_(h) {}
  ~UniqueAny() { reset(); }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& o) noexcept : h_(std::exchange(o.h_, Empty)) {}
  UniqueAny& operator=(UniqueAny&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Empty));
    return *this;
  }
  T get() const { return h_; }
  T* put() {
    reset();
    return &h_;
  }
  T release() { return std::exchange(h_, Empty); }
  void reset(T h = Empty) {
    if (h_ != Empty) Closer{}(h_);
    h_ = h;
  }
  explicit operator bool() const { return h_ != Empty; }

 private:
  T h_ = Empty;
};

struct CloseHandleFn {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct RegCloseKeyFn {
  void operator()(HKEY h) const { ::RegCloseKey(h); }
};

// INVALID_HANDLE_VALUE is not a constant expression; files use a closer
// that ignores it and nullptr as the stored empty value.
using UniqueHandle = UniqueAny<HANDLE, nullptr, CloseHandleFn>;
using UniqueKey = UniqueAny<HKEY, nullptr, RegCloseKeyFn>;

// A file handle: CreateFileW's INVALID_HANDLE_VALUE becomes the empty handle.
inline UniqueHandle FileHandle(HANDLE h) { return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h); }

}  // namespace vx::win
