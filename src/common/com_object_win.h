// The one IUnknown of every COM object the program and its stand-ins
// implement:
//
//   class Sink final : public ComObject<Sink, IDispatch> { ... };
//   class Site final : public ComObject<Site, IOleClientSite, ComInterface<IOleInPlaceSite, IOleWindow>> { ... };
//
// The count is atomic and starts at 1, the creator's reference; the object
// deletes itself when the last reference goes. QueryInterface answers
// IUnknown (with the first interface listed) and each listed interface; an
// entry ComInterface<I, Also...> also answers for each of Also (interfaces I
// derives from, or ComIid<iid> for an IID without a type of its own) with
// I's pointer. The first entry that answers wins. A class whose IIDs are
// known only at run time (a sink for a control's event dispinterface) adds
// a public `void* ExtraInterface(REFIID)` that returns the pointer or null.
// Objects are made with MakeComObject, which hands over that first reference.
#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

namespace ravelin {

template <class Interface, class... Also>
struct ComInterface {};

template <const IID& Iid>
struct ComIid {};

namespace detail {

template <class T>
struct ComIidOf {
  static const IID& Get() { return __uuidof(T); }
};
template <const IID& Iid>
struct ComIidOf<ComIid<Iid>> {
  static const IID& Get() { return Iid; }
};

template <class Entry>
struct ComEntry {
  using Interface = Entry;
  static bool Answers(REFIID riid) { return riid == __uuidof(Entry); }
};
template <class I, class... Also>
struct ComEntry<ComInterface<I, Also...>> {
  using Interface = I;
  static bool Answers(REFIID riid) { return riid == __uuidof(I) || ((riid == ComIidOf<Also>::Get()) || ...); }
};

template <class First, class... Rest>
struct FirstComInterface {
  using type = typename ComEntry<First>::Interface;
};

}  // namespace detail

template <class Derived, class... Entries>
class ComObject : public detail::ComEntry<Entries>::Interface... {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) final {
    if (out == nullptr) return E_POINTER;
    *out = Find(riid);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() final { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() final {
    const ULONG left = --m_refs;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // The object's identity: the first interface listed.
  IUnknown* Unknown() noexcept { return static_cast<typename detail::FirstComInterface<Entries...>::type*>(this); }

 protected:
  ComObject() = default;
  ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  void* Find(REFIID riid) {
    if (riid == __uuidof(IUnknown)) return Unknown();
    void* found = nullptr;
    const auto match = [&]<class Entry>() {
      using Interface = typename detail::ComEntry<Entry>::Interface;
      if (found == nullptr && detail::ComEntry<Entry>::Answers(riid)) found = static_cast<Interface*>(this);
    };
    (match.template operator()<Entries>(), ...);
    if constexpr (requires(Derived & object) { object.ExtraInterface(riid); }) {
      if (found == nullptr) found = static_cast<Derived*>(this)->ExtraInterface(riid);
    }
    return found;
  }

  std::atomic<ULONG> m_refs{1};
};

// A new object, owned by the pointer returned; null when memory ran out.
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args) {
  Microsoft::WRL::ComPtr<T> object;
  // MinGW's ComPtr::Attach adds a reference; the slot takes the creator's.
  *object.GetAddressOf() = new (std::nothrow) T(std::forward<Args>(args)...);
  return object;
}

}  // namespace ravelin
