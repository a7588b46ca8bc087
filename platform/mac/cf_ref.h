// Ownership of CoreFoundation references. A function whose name holds Create
// or Copy hands its caller a reference that the caller must release; a Get
// function lends one that lives only as long as the object it came from.
// CFRef holds references of the first kind and releases them once; a lent
// reference is held only through retain(), which takes a reference of its own.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <type_traits>
#include <utility>

namespace tavlune::platform::mac {

template <typename Ref>
class CFRef {
  static_assert(std::is_pointer_v<Ref>, "CoreFoundation references are pointers");

 public:
  CFRef() = default;

  // Takes over the result of a Create or Copy function; null stays empty.
  static CFRef adopt(Ref ref) { return CFRef(ref); }
  // Keeps the result of a Get function beyond the life of its owner.
  static CFRef retain(Ref ref) {
    if (ref) CFRetain(ref);
    return CFRef(ref);
  }

  CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  // A mutable reference moves into a holder of its immutable or generic type.
  template <typename Other, typename = std::enable_if_t<std::is_convertible_v<Other, Ref>>>
  CFRef(CFRef<Other>&& other) noexcept : ref_(other.take()) {}
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
  }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  ~CFRef() { reset(); }

  // Lent to the callee: CoreFoundation retains what it keeps.
  Ref get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  template <typename>
  friend class CFRef;

  explicit CFRef(Ref ref) : ref_(ref) {}
  Ref take() { return std::exchange(ref_, nullptr); }
  void reset() {
    if (ref_) CFRelease(ref_);
    ref_ = nullptr;
  }

  Ref ref_ = nullptr;
};

}  // namespace tavlune::platform::mac
