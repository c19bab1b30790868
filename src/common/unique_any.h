// One owner for every kind of handle: a holder closes what it holds exactly
// once, however its scope ends, and can be moved but never copied. A traits
// type says what is held and how:
//
//   struct Traits {
//     using type = ...;                 // the handle type
//     static type Invalid();            // what an empty holder holds
//     static bool IsValid(type value);  // false for every value that owns nothing
//     static void Close(type value);    // called once for each valid value
//   };
//
// The platform's kinds are named in unique_handle_win.h and its neighbours.
#pragma once

#include <memory>
#include <utility>

namespace ravelin {

namespace detail {

// The base of the traits of every kind whose empty value is null.
template <class T>
struct NullIsEmpty {
  using type = T;
  static T Invalid() noexcept { return nullptr; }
  static bool IsValid(T value) noexcept { return value != nullptr; }
};

}  // namespace detail

template <class Traits>
class unique_any {
 public:
  using pointer = typename Traits::type;

  unique_any() noexcept = default;
  explicit unique_any(pointer value) noexcept : m_value(value) {}
  ~unique_any() { reset(); }

  unique_any(unique_any&& other) noexcept : m_value(std::exchange(other.m_value, Traits::Invalid())) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != std::addressof(other)) {
      reset();
      m_value = std::exchange(other.m_value, Traits::Invalid());
    }
    return *this;
  }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;

  pointer get() const noexcept { return m_value; }
  explicit operator bool() const noexcept { return Traits::IsValid(m_value); }

  // Gives the value up without closing it: the caller owns it now.
  pointer release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

  // Closes what is held and takes `value` instead.
  void reset(pointer value = Traits::Invalid()) noexcept {
    if (value == m_value) return;
    const pointer old = std::exchange(m_value, value);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

  // For an out-parameter: closes what is held and lends the slot, which then
  // owns whatever the callee writes there.
  pointer* put() noexcept {
    reset();
    return &m_value;
  }
  pointer* operator&() noexcept { return put(); }

 private:
  pointer m_value = Traits::Invalid();
};

}  // namespace ravelin
