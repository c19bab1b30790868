// Holders for GDI objects, device contexts and image lists. Whatever a paint
// takes is released (and deselected) when its holder goes, however the paint
// ends.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <utility>

#include "unique_any.h"

namespace ravelin {

namespace detail {

template <class T>
struct GdiObjectTraits : NullIsEmpty<T> {
  static void Close(T value) noexcept { DeleteObject(value); }
};

struct MemoryDcTraits : NullIsEmpty<HDC> {
  static void Close(HDC value) noexcept { DeleteDC(value); }
};

struct ImageListTraits : NullIsEmpty<HIMAGELIST> {
  static void Close(HIMAGELIST value) noexcept { ImageList_Destroy(value); }
};

}  // namespace detail

// Pens, brushes, bitmaps, fonts and regions, deleted with DeleteObject.
template <class T>
using unique_hgdiobj = unique_any<detail::GdiObjectTraits<T>>;
using unique_hbitmap = unique_hgdiobj<HBITMAP>;
using unique_hpen = unique_hgdiobj<HPEN>;
using unique_hbrush = unique_hgdiobj<HBRUSH>;
using unique_hfont = unique_hgdiobj<HFONT>;
// A DC of our own (CreateCompatibleDC), deleted with DeleteDC.
using unique_hdc = unique_any<detail::MemoryDcTraits>;
using unique_himagelist = unique_any<detail::ImageListTraits>;

// A window's DC from GetDC. ReleaseDC needs the window back, so the holder
// keeps both.
class unique_hdc_window {
 public:
  unique_hdc_window() = default;
  explicit unique_hdc_window(HWND window) : m_window(window), m_dc(GetDC(window)) {}
  ~unique_hdc_window() { reset(); }
  unique_hdc_window(unique_hdc_window&& other) noexcept
      : m_window(std::exchange(other.m_window, nullptr)), m_dc(std::exchange(other.m_dc, nullptr)) {}
  unique_hdc_window& operator=(unique_hdc_window&& other) noexcept {
    if (this != &other) {
      reset();
      m_window = std::exchange(other.m_window, nullptr);
      m_dc = std::exchange(other.m_dc, nullptr);
    }
    return *this;
  }
  unique_hdc_window(const unique_hdc_window&) = delete;
  unique_hdc_window& operator=(const unique_hdc_window&) = delete;

  HDC get() const noexcept { return m_dc; }
  HWND window() const noexcept { return m_window; }
  explicit operator bool() const noexcept { return m_dc != nullptr; }
  void reset() noexcept {
    if (m_dc != nullptr) ReleaseDC(m_window, m_dc);
    m_dc = nullptr;
    m_window = nullptr;
  }

 private:
  HWND m_window = nullptr;
  HDC m_dc = nullptr;
};

// BeginPaint for the life of the holder, then EndPaint: a window validated
// once, whether or not the DC came back.
class unique_hdc_paint {
 public:
  explicit unique_hdc_paint(HWND window) : m_window(window), m_dc(BeginPaint(window, &m_paint)) {}
  ~unique_hdc_paint() { EndPaint(m_window, &m_paint); }
  unique_hdc_paint(const unique_hdc_paint&) = delete;
  unique_hdc_paint& operator=(const unique_hdc_paint&) = delete;

  HDC get() const noexcept { return m_dc; }
  const PAINTSTRUCT& paint() const noexcept { return m_paint; }

 private:
  HWND m_window;
  PAINTSTRUCT m_paint{};
  HDC m_dc;
};

// Selects an object into a DC and puts the previous one back.
class unique_select_object {
 public:
  unique_select_object(HDC dc, HGDIOBJ object)
      : m_dc(dc), m_old(object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~unique_select_object() {
    if (m_old != nullptr) SelectObject(m_dc, m_old);
  }
  unique_select_object(const unique_select_object&) = delete;
  unique_select_object& operator=(const unique_select_object&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace ravelin
