// The player control stand-in: one COM object answering the player's
// late-bound interface, its events and the OLE control hosting protocol.
//
// Names (GetIDsOfNames, case-insensitive) and dispatch ids:
//   LoadMovie(long layer, BSTR url)  201  method
//   Play()                           202  method
//   CallFunction(BSTR request) BSTR  203  method (answers: player_answers_win.h)
//   Movie            BSTR            101  get/put; a non-empty put loads it
//   WMode            BSTR            102  get/put (default "Window")
//   Quality          BSTR            103  get/put (default "High")
//   ScaleMode        long            104  get/put (default 0; also takes the
//                                          names ShowAll, NoBorder, ExactFit, NoScale)
//   AllowNetworking  BSTR            105  get/put (default "all")
//   Playing          bool            106  get/put (default true; the bag's "Play")
//   Loop             bool            107  get/put (default true)
//   Menu             bool            108  get/put (default true)
//   FullScreen       bool            109  get/put (default false)
//   ReadyState       long           -525  get only (4 until a movie is loaded)
// Events: dispatch id -609 (ready state changed), one VT_I4 argument. After
// a non-empty LoadMovie (or Movie put) the state restarts at 0 and runs
// 0, 1, 2, 3, 4, one step every 30 ms, fired from a timer on the thread that
// created the control; none are fired while events are frozen.
//
// Recording, %RAVELIN_STANDIN_DIR%\player.log (UTF-8, LF), one line per event:
//   create | destroy                       object made / last reference gone
//   initnew | load stream | load bag       persistence calls
//   property NAME=VALUE                    a stored property the bag supplied
//   put NAME=VALUE                         a property put through IDispatch
//   activate | uiactivate | show | hide | uideactivate | deactivate | close
//   rects LEFT,TOP,RIGHT,BOTTOM            where the window was placed
//   LoadMovie LAYER URL | Play
//   CallFunction NAME -> KIND count=N request=XML   (CR/LF in XML as blanks)
//   readystate N                           each ready-state event
//   sound start bits=B | sound stop | sound disabled
#pragma once

#include <ocidl.h>
#include <oleidl.h>
#include <windows.h>

#include <wrl/client.h>

#include <map>
#include <memory>
#include <string>

#include "common/com_object_win.h"
#include "player/player_audio_win.h"
#include "player/player_events_win.h"
#include "player/player_ids_win.h"

namespace ravelin::standin {

class PlayerControl final
    : public ComObject<PlayerControl, ComInterface<IDispatch, ComIid<kPlayerIid>>, IConnectionPointContainer,
                       ComInterface<IProvideClassInfo2, IProvideClassInfo>, IOleObject,
                       ComInterface<IOleInPlaceObject, IOleWindow>, IOleInPlaceActiveObject, IOleControl,
                       ComInterface<IViewObject2, IViewObject>, ComInterface<IPersistStreamInit, IPersist>,
                       IPersistPropertyBag> {
 public:
  PlayerControl();
  ~PlayerControl();

  static void UnregisterWindowClasses();

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                      LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP Unadvise(DWORD connection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc, HDC drawDc,
                    LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDc,
                           LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IPersist, IPersistStreamInit, IPersistPropertyBag
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HRESULT ActivateInPlace(bool uiActivate, IOleClientSite* activeSite);
  void Paint(HDC dc, const RECT& area) const;
  void Repaint() const;

  HRESULT InvokeMember(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argError);
  HRESULT GetProperty(DISPID id, VARIANT* out) const;
  HRESULT PutProperty(DISPID id, const VARIANT& value, bool withEffects);
  std::string PropertyText(DISPID id) const;
  HRESULT CallFunction(const std::wstring& request, VARIANT* result, EXCEPINFO* exception);

  void StartLoad();
  void OnReadyTick();
  void StartSound();
  void StopSound();

  EventSinks m_events{kPlayerEventsIid};

  Microsoft::WRL::ComPtr<IOleClientSite> m_clientSite;
  Microsoft::WRL::ComPtr<IOleInPlaceSite> m_inPlaceSite;
  Microsoft::WRL::ComPtr<IOleInPlaceFrame> m_frame;
  Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> m_uiWindow;
  Microsoft::WRL::ComPtr<IOleAdviseHolder> m_oleAdvise;
  Microsoft::WRL::ComPtr<IAdviseSink> m_viewSink;
  DWORD m_viewAspects = 0;
  DWORD m_viewFlags = 0;

  HWND m_window = nullptr;  // the in-place window, child of the site's window
  HWND m_notify = nullptr;  // message-only: timers on the creating thread
  bool m_inPlaceActive = false;
  bool m_uiActive = false;
  SIZEL m_extent = {16933, 12700};  // 640 x 480 pixels at 96 dpi, in HIMETRIC
  LONG m_freezeCount = 0;

  std::wstring m_movie;
  std::wstring m_wmode = L"Window";
  std::wstring m_quality = L"High";
  std::wstring m_allowNetworking = L"all";
  LONG m_scaleMode = 0;
  bool m_playing = true;
  bool m_loop = true;
  bool m_menu = true;
  bool m_fullScreen = false;
  LONG m_readyState = 4;
  LONG m_nextReadyState = 5;

  std::map<std::wstring, int> m_calls;
  std::unique_ptr<TonePlayer> m_tone;
};

}  // namespace ravelin::standin
