// Holders for Automation values: a BSTR freed with SysFreeString, a VARIANT
// cleared with VariantClear (its string freed, its interface released).
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "unique_any.h"

namespace ravelin {

namespace detail {

struct BstrTraits : NullIsEmpty<BSTR> {
  static void Close(BSTR value) noexcept { SysFreeString(value); }
};

}  // namespace detail

using unique_bstr = unique_any<detail::BstrTraits>;

// A copy of `text` up to its first NUL.
inline unique_bstr MakeBstr(const wchar_t* text) { return unique_bstr(SysAllocString(text)); }

// It is a VARIANT, so it goes wherever one is asked for, and whatever it
// holds when it goes is cleared. A copy handed on by value (a DISPPARAMS
// argument) only borrows what it holds.
class unique_variant : public VARIANT {
 public:
  unique_variant() noexcept { VariantInit(this); }
  ~unique_variant() { VariantClear(this); }
  unique_variant(unique_variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  unique_variant& operator=(unique_variant&& other) noexcept {
    if (this != &other) {
      VariantClear(this);
      static_cast<VARIANT&>(*this) = other;
      VariantInit(&other);
    }
    return *this;
  }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;

  static unique_variant Text(const wchar_t* text) {
    unique_variant value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    return value;
  }
  static unique_variant Long(LONG number) {
    unique_variant value;
    value.vt = VT_I4;
    value.lVal = number;
    return value;
  }

  void reset() noexcept { VariantClear(this); }
  // Hands what it holds over to the caller.
  VARIANT release() noexcept {
    const VARIANT value = *this;
    VariantInit(this);
    return value;
  }
  // For an out-parameter: cleared first, then filled by the callee.
  VARIANT* put() noexcept {
    reset();
    return this;
  }
};

}  // namespace ravelin
