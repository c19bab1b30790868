// Owners for GDI objects and device contexts: whatever a paint takes is
// released (and deselected) when its owner goes, however the paint ends.
// Each holder counts itself, so tests and benchmarks can show that repeated
// painting leaves nothing behind.
#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

namespace ravelin::framework {

// GDI objects and DCs currently owned by holders of this process.
long LiveGdiHolders();

namespace detail {
extern std::atomic<long> g_liveGdiHolders;
}

// A pen, brush, bitmap, font or region, deleted with DeleteObject.
template <class Handle>
class UniqueGdiObject {
 public:
  UniqueGdiObject() = default;
  explicit UniqueGdiObject(Handle handle) : m_handle(handle) {
    if (m_handle != nullptr) ++detail::g_liveGdiHolders;
  }
  ~UniqueGdiObject() { reset(); }
  UniqueGdiObject(UniqueGdiObject&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  UniqueGdiObject& operator=(UniqueGdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  UniqueGdiObject(const UniqueGdiObject&) = delete;
  UniqueGdiObject& operator=(const UniqueGdiObject&) = delete;

  Handle get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }
  void reset() {
    if (m_handle != nullptr) {
      DeleteObject(m_handle);
      --detail::g_liveGdiHolders;
      m_handle = nullptr;
    }
  }

 private:
  Handle m_handle = nullptr;
};

using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;

// A memory DC from CreateCompatibleDC, deleted with DeleteDC.
class UniqueMemoryDC {
 public:
  explicit UniqueMemoryDC(HDC compatibleWith) : m_dc(CreateCompatibleDC(compatibleWith)) {
    if (m_dc != nullptr) ++detail::g_liveGdiHolders;
  }
  ~UniqueMemoryDC() {
    if (m_dc != nullptr) {
      DeleteDC(m_dc);
      --detail::g_liveGdiHolders;
    }
  }
  UniqueMemoryDC(const UniqueMemoryDC&) = delete;
  UniqueMemoryDC& operator=(const UniqueMemoryDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HDC m_dc;
};

// A window's DC from GetDC, released with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {
    if (m_dc != nullptr) ++detail::g_liveGdiHolders;
  }
  ~WindowDC() {
    if (m_dc != nullptr) {
      ReleaseDC(m_window, m_dc);
      --detail::g_liveGdiHolders;
    }
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

// BeginPaint/EndPaint.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : m_window(window), m_dc(BeginPaint(window, &m_ps)) {
    if (m_dc != nullptr) ++detail::g_liveGdiHolders;
  }
  ~PaintDC() {
    EndPaint(m_window, &m_ps);
    if (m_dc != nullptr) --detail::g_liveGdiHolders;
  }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HWND m_window;
  PAINTSTRUCT m_ps{};
  HDC m_dc;
};

// Selects an object into a DC and puts the previous one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~SelectGuard() {
    if (m_old != nullptr) SelectObject(m_dc, m_old);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace ravelin::framework
