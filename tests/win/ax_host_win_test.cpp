// The ActiveX container with the stand-in browser control: creation by class
// id, stored properties, in-place activation, events through the sink map,
// the document and its UI handler.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "framework/ax_host_win.h"
#include "framework/disp_event_sink_win.h"
#include "res/resource.h"
#include "testkit/pump_win.h"
#include "testkit/standin_files_win.h"
#include "testkit/testkit_win.h"

namespace {

using ravelin::testkit::PumpMessages;
using ravelin::testkit::PumpUntil;

using Microsoft::WRL::ComPtr;
using ravelin::framework::AxCreateControl;
using ravelin::framework::AxGetControl;
using ravelin::framework::AxInitData;
using ravelin::framework::CDispEventSink;
using namespace std::chrono_literals;

const wchar_t kBrowserClsid[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
const IID kDiidEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
const IID kIidCustomDoc = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());  // test addresses are ASCII
}

std::wstring UrlArg(const DISPPARAMS* p, UINT indexFromLast) {
  const VARIANTARG& v = p->rgvarg[p->cArgs - 1 - indexFromLast];
  if (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal->vt == VT_BSTR) return v.pvarVal->bstrVal;
  return L"?";
}

// Records events as "Name arg" lines; can cancel navigations.
struct EventLog {
  std::vector<std::string> events;
  bool cancelNext = false;

  void OnBefore(DISPPARAMS* p) {
    events.push_back("BeforeNavigate2 " + Narrow(UrlArg(p, 1)));
    if (cancelNext) {
      *p->rgvarg[0].pboolVal = VARIANT_TRUE;
      cancelNext = false;
    }
  }
  void OnComplete(DISPPARAMS* p) { events.push_back("DocumentComplete " + Narrow(UrlArg(p, 1))); }
  void OnError(DISPPARAMS* p) {
    const VARIANT* status = p->rgvarg[1].pvarVal;
    events.push_back("NavigateError " + Narrow(UrlArg(p, 1)) + " " + std::to_string(status->lVal));
  }
  void OnProgress(DISPPARAMS* p) {
    events.push_back("ProgressChange " + std::to_string(p->rgvarg[1].lVal) + "/" + std::to_string(p->rgvarg[0].lVal));
  }
  bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

const CDispEventSink<EventLog>::Entry kBrowserSinkMap[] = {
    {DISPID_DOCUMENTCOMPLETE, &EventLog::OnComplete},
    {DISPID_DOCUMENTCOMPLETE, &EventLog::OnComplete},  // never reached: one call per event
    {DISPID_BEFORENAVIGATE2, &EventLog::OnBefore},
    {DISPID_NAVIGATEERROR, &EventLog::OnError},
    {DISPID_PROGRESSCHANGE, &EventLog::OnProgress},
};

class UiHandler final : public IDocHostUIHandler {
 public:
  int hostInfoCalls = 0;
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDocHostUIHandler) {
      *out = static_cast<IDocHostUIHandler*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    ++hostInfoCalls;
    info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  STDMETHODIMP GetExternal(IDispatch** out) override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }
};

class AxHost : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(ravelin::testkit::RegisterStandin(L"browser_standin.dll")); }
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
    ravelin::testkit::ClearStandinFile(L"browser.log");
    parent = CreateWindowExW(0, L"STATIC", L"host test", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 700,
                             500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent);
    PumpMessages(20ms);
    OleUninitialize();
  }

  HWND CreateBrowser(const RECT& rc) { return AxCreateControl(parent, kBrowserClsid, rc, 1000, nullptr); }

  HWND parent = nullptr;
};

TEST_F(AxHost, CreatesTheControlByClassIdAndActivatesItInThePlaceOfTheHost) {
  const HWND host = CreateBrowser({10, 20, 410, 320});
  ASSERT_NE(host, nullptr);
  ComPtr<IUnknown> control;
  ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
  ComPtr<IWebBrowser2> browser;
  ASSERT_TRUE(SUCCEEDED(control.As(&browser)));
  // The same control through the registered message, as dialogs reach it.
  EXPECT_EQ(reinterpret_cast<IUnknown*>(SendMessageW(host, ravelin::framework::AxGetControlMessage(), 0, 0)),
            control.Get());

  // The control's window fills the host and follows its size.
  HWND page = GetWindow(host, GW_CHILD);
  ASSERT_NE(page, nullptr);
  RECT rc;
  GetClientRect(page, &rc);
  EXPECT_EQ(rc.right, 400);
  EXPECT_EQ(rc.bottom, 300);
  MoveWindow(host, 0, 0, 640, 360, TRUE);
  GetClientRect(page, &rc);
  EXPECT_EQ(rc.right, 640);
  EXPECT_EQ(rc.bottom, 360);

  DestroyWindow(host);
  const auto log = ravelin::testkit::ReadStandinLines(L"browser.log");
  EXPECT_NE(std::find(log.begin(), log.end(), "activate 0,0,400,300"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "rects 0,0,640,360"), log.end());
  EXPECT_EQ(log.back(), "close");
}

TEST_F(AxHost, AnAddressItCannotLoadFailsThenCompletesAnErrorPageAndSinksSeeEachEventOnce) {
  const HWND host = CreateBrowser({0, 0, 400, 300});
  ComPtr<IUnknown> control;
  ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
  ComPtr<IWebBrowser2> browser;
  ASSERT_TRUE(SUCCEEDED(control.As(&browser)));
  EventLog log;
  CDispEventSink<EventLog> sink(&log, kDiidEvents2, kBrowserSinkMap);
  ASSERT_TRUE(SUCCEEDED(sink.Advise(control.Get())));

  ComPtr<IDispatch> document;
  ASSERT_TRUE(SUCCEEDED(browser->get_Document(&document)));
  EXPECT_EQ(document, nullptr) << "no document before the first page";

  const std::wstring marker = L"app://loadgame?go=1&movie=http://127.0.0.1/game/movie.swf";
  VARIANT empty;
  VariantInit(&empty);
  BSTR url = SysAllocString(marker.c_str());
  ASSERT_TRUE(SUCCEEDED(browser->Navigate(url, &empty, &empty, &empty, &empty)));
  SysFreeString(url);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("DocumentComplete about:navigationfailure"); }, 5s));

  const std::vector<std::string> expected = {
      "BeforeNavigate2 " + Narrow(marker),
      "ProgressChange 0/10000",
      "NavigateError " + Narrow(marker) + " " + std::to_string(static_cast<LONG>(0x800C000DL)),
      "ProgressChange 10000/10000",
      "DocumentComplete about:navigationfailure",
      "ProgressChange -1/10000",
  };
  EXPECT_EQ(log.events, expected);

  ASSERT_TRUE(SUCCEEDED(browser->get_Document(&document)));
  ASSERT_NE(document, nullptr);
  sink.Unadvise();
}

TEST_F(AxHost, ACancelledNavigationGoesNoFurther) {
  const HWND host = CreateBrowser({0, 0, 400, 300});
  ComPtr<IUnknown> control;
  ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
  ComPtr<IWebBrowser2> browser;
  ASSERT_TRUE(SUCCEEDED(control.As(&browser)));
  EventLog log;
  log.cancelNext = true;
  CDispEventSink<EventLog> sink(&log, kDiidEvents2, kBrowserSinkMap);
  ASSERT_TRUE(SUCCEEDED(sink.Advise(control.Get())));
  VARIANT empty;
  VariantInit(&empty);
  BSTR url = SysAllocString(L"app://nowhere");
  browser->Navigate(url, &empty, &empty, &empty, &empty);
  SysFreeString(url);
  PumpMessages(300ms);
  EXPECT_EQ(log.events, std::vector<std::string>{"BeforeNavigate2 app://nowhere"});
}

TEST_F(AxHost, TheDocumentTakesAUiHandlerAndRecordsAccelerators) {
  const HWND host = CreateBrowser({0, 0, 400, 300});
  ComPtr<IUnknown> control;
  ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
  ComPtr<IWebBrowser2> browser;
  ASSERT_TRUE(SUCCEEDED(control.As(&browser)));
  VARIANT empty;
  VariantInit(&empty);
  BSTR url = SysAllocString(L"about:blank");
  browser->Navigate(url, &empty, &empty, &empty, &empty);
  SysFreeString(url);
  ComPtr<IDispatch> document;
  ASSERT_TRUE(PumpUntil(
      [&] {
        browser->get_Document(&document);
        return document != nullptr;
      },
      5s));

  ComPtr<ICustomDoc> custom;
  ASSERT_TRUE(SUCCEEDED(document->QueryInterface(kIidCustomDoc, reinterpret_cast<void**>(custom.GetAddressOf()))));
  UiHandler handler;
  ASSERT_TRUE(SUCCEEDED(custom->SetUIHandler(&handler)));
  EXPECT_EQ(handler.hostInfoCalls, 1);

  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_TRUE(SUCCEEDED(document.As(&active)));
  MSG tab{host, WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&tab), S_FALSE);
  ASSERT_TRUE(ravelin::testkit::WriteStandinSettings(L"browser.ini", L"[document]\r\naccelerator=S_OK\r\n"));
  EXPECT_EQ(active->TranslateAccelerator(&tab), S_OK);

  const auto log = ravelin::testkit::ReadStandinLines(L"browser.log");
  auto has = [&](const std::string& prefix) {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has("uihandler hostinfo flags=0x00000004 hr=0x00000000"));
  EXPECT_TRUE(has("uihandler contextmenu hr=0x00000000"));
  EXPECT_TRUE(has("accelerator message=0x00000100 key=9"));
  ravelin::testkit::ClearStandinFile(L"browser.ini");
}

void Navigate(IWebBrowser2* browser, const std::wstring& address) {
  VARIANT empty;
  VariantInit(&empty);
  BSTR url = SysAllocString(address.c_str());
  browser->Navigate(url, &empty, &empty, &empty, &empty);
  SysFreeString(url);
}

// Only the navigation-level events, without progress.
std::vector<std::string> Navigations(const EventLog& log) {
  std::vector<std::string> out;
  for (const std::string& e : log.events) {
    if (e.rfind("ProgressChange", 0) != 0) out.push_back(e);
  }
  return out;
}

class BrowserOverHttp : public AxHost {
 protected:
  void SetUp() override {
    AxHost::SetUp();
    ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/reset")) << "the game service is not running";
    host = CreateBrowser({0, 0, 600, 400});
    ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
    ASSERT_TRUE(SUCCEEDED(control.As(&browser)));
    ASSERT_TRUE(SUCCEEDED(sink.Advise(control.Get())));
  }
  void TearDown() override {
    sink.Unadvise();
    browser.Reset();
    control.Reset();
    AxHost::TearDown();
  }

  const std::wstring startPage =
      L"http://127.0.0.1/dusk_vale/client/index.php?source=client_41kk3l&host_uid=A&B=C_1&sp_promote=tr;vorlan_tr;"
      L"tr;client;officialwebsite";
  HWND host = nullptr;
  ComPtr<IUnknown> control;
  ComPtr<IWebBrowser2> browser;
  EventLog log;
  CDispEventSink<EventLog> sink{&log, kDiidEvents2, kBrowserSinkMap};
};

TEST_F(BrowserOverHttp, TheLoginPageLoadsAndLaterNavigatesToTheLoadGameAddress) {
  ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/start_page",
                                               R"({"mode":"normal","loadgame_delay_ms":300})"));
  Navigate(browser.Get(), startPage);
  const std::string marker = "app://loadgame?movie=http://127.0.0.1/game/movie.swf";
  ASSERT_TRUE(PumpUntil(
      [&] { return log.Has("NavigateError " + marker + " " + std::to_string(static_cast<LONG>(0x800C000DL))); }, 10s));
  PumpUntil([&] { return log.Has("DocumentComplete about:navigationfailure"); }, 5s);
  const std::vector<std::string> expected = {
      "BeforeNavigate2 " + Narrow(startPage),
      "DocumentComplete " + Narrow(startPage),
      "BeforeNavigate2 " + marker,
      "NavigateError " + marker + " " + std::to_string(static_cast<LONG>(0x800C000DL)),
      "DocumentComplete about:navigationfailure",
  };
  EXPECT_EQ(Navigations(log), expected);
  // Progress ran up while the page loaded.
  EXPECT_TRUE(log.Has("ProgressChange 10000/10000"));

  // The service saw the raw query, "&" and "=" of the identifier included.
  const auto requests =
      ravelin::testkit::ServiceRequest(L"GET", L"/_standin/requests?path=/dusk_vale/client/index.php");
  ASSERT_TRUE(requests);
  EXPECT_NE(requests->find(R"("host_uid": "A&B=C_1")"), std::string::npos) << *requests;
}

TEST_F(BrowserOverHttp, ServerErrorsAndDroppedConnectionsFailTheNavigation) {
  struct Case {
    const char* settings;
    std::wstring url;
    LONG status;
  };
  const Case cases[] = {
      {R"({"mode":"500"})", startPage, 500},
      {R"({"mode":"refuse"})", startPage, static_cast<LONG>(0x800C0008L)},
      {R"({"mode":"normal"})", L"http://127.0.0.1/no/such/page", 404},
      {R"({"mode":"normal"})", L"http://127.0.0.1:81/nothing/listens/here", static_cast<LONG>(0x800C0005L)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.url) + " " + c.settings);
    log.events.clear();
    ASSERT_TRUE(ravelin::testkit::ServiceRequest(L"POST", L"/_standin/start_page", c.settings));
    Navigate(browser.Get(), c.url);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("DocumentComplete about:navigationfailure"); }, 10s));
    const std::vector<std::string> expected = {
        "BeforeNavigate2 " + Narrow(c.url),
        "NavigateError " + Narrow(c.url) + " " + std::to_string(c.status),
        "DocumentComplete about:navigationfailure",
    };
    EXPECT_EQ(Navigations(log), expected);
  }
}

TEST(AxInitData, DialogPropertiesComeFromTheProgramsOwnResource) {
  const auto data = ravelin::framework::LoadDialogInitData(GetModuleHandleW(nullptr), IDD_GAME);
  EXPECT_EQ(data.count(1000), 0u) << "the browser starts from its defaults";
  ASSERT_EQ(data.count(1001), 1u);
  const AxInitData& player = data.at(1001);
  auto find = [&](const wchar_t* name) -> const ravelin::framework::AxProperty* {
    for (const auto& p : player) {
      if (p.name == name) return &p;
    }
    return nullptr;
  };
  ASSERT_NE(find(L"WMode"), nullptr);
  EXPECT_EQ(find(L"WMode")->value, L"Window");
  EXPECT_EQ(find(L"Quality")->value, L"High");
  EXPECT_EQ(find(L"ScaleMode")->value, L"ShowAll");
  EXPECT_EQ(find(L"AllowNetworking")->value, L"all");
  EXPECT_EQ(find(L"Play")->type, VT_BOOL);
  EXPECT_EQ(find(L"Play")->value, L"true");
  EXPECT_EQ(find(L"Loop")->value, L"true");
  EXPECT_EQ(find(L"Menu")->value, L"false");
  EXPECT_EQ(find(L"Movie"), nullptr) << "no movie is named";
  EXPECT_TRUE(ravelin::framework::LoadDialogInitData(GetModuleHandleW(nullptr), 4242).empty());
}

TEST(AxInitData, MalformedPropertyLinesAreSkipped) {
  const AxInitData data = ravelin::framework::ParseAxProperties(
      L"A=str:x\r\n=str:nameless\nB=bool\nC=float:1\nD=i4:42\nE=str:with=equals:and:colons");
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[0].name, L"A");
  EXPECT_EQ(data[1].name, L"D");
  EXPECT_EQ(data[1].type, VT_I4);
  EXPECT_EQ(data[2].value, L"with=equals:and:colons");
}

TEST(AxHostWindow, AnUnknownClassLeavesAnEmptyHostAndNoControl) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  ravelin::framework::AtlAxWinInit(GetModuleHandleW(nullptr));
  const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  const HWND host =
      CreateWindowExW(0, ravelin::framework::kAxHostClass, L"{00000000-1111-2222-3333-444444444444}",
                      WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(host, nullptr);
  ComPtr<IUnknown> control;
  EXPECT_EQ(AxGetControl(host, &control), E_FAIL);
  EXPECT_EQ(AxCreateControl(parent, L"{00000000-1111-2222-3333-444444444444}", {0, 0, 10, 10}, 5, nullptr), nullptr);
  DestroyWindow(parent);
  OleUninitialize();
}

}  // namespace

namespace {

struct ReadyStates {
  std::vector<long> seen;
  void OnReadyState(DISPPARAMS* p) {
    if (p->cArgs == 1 && p->rgvarg[0].vt == VT_I4) seen.push_back(p->rgvarg[0].lVal);
  }
};

const CDispEventSink<ReadyStates>::Entry kPlayerSinkMap[] = {{-609, &ReadyStates::OnReadyState}};
const IID kPlayerEventsFallback = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

TEST_F(AxHost, ThePlayerTakesItsStoredPropertiesLoadsAMovieAndReportsReadyStates) {
  ASSERT_TRUE(ravelin::testkit::RegisterStandin(L"player_standin.dll"));
  ravelin::testkit::ClearStandinFile(L"player.log");
  const auto data = ravelin::framework::LoadDialogInitData(GetModuleHandleW(nullptr), IDD_GAME);
  const HWND host =
      AxCreateControl(parent, L"{D27CDB6E-AE6D-11CF-96B8-444553540000}", {2, 31, 602, 431}, 1001, &data.at(1001));
  ASSERT_NE(host, nullptr);
  ComPtr<IUnknown> control;
  ASSERT_TRUE(SUCCEEDED(AxGetControl(host, &control)));
  ComPtr<IDispatch> player;
  const IID kPlayerIid = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
  ASSERT_TRUE(SUCCEEDED(control->QueryInterface(kPlayerIid, reinterpret_cast<void**>(player.GetAddressOf()))));

  ReadyStates states;
  // The control names its own default event interface.
  CDispEventSink<ReadyStates> sink(&states, kPlayerEventsFallback, kPlayerSinkMap);
  ASSERT_TRUE(SUCCEEDED(sink.AdviseDefault(control.Get())));

  VARIANT layer, url, result;
  VariantInit(&layer);
  layer.vt = VT_I4;
  layer.lVal = 0;
  VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = SysAllocString(L"http://127.0.0.1/game/movie.swf");
  VariantInit(&result);
  EXPECT_TRUE(SUCCEEDED(CallByName(player.Get(), L"LoadMovie", {layer, url}, &result)));
  EXPECT_TRUE(SUCCEEDED(CallByName(player.Get(), L"Play", {}, &result)));
  VariantClear(&url);
  ASSERT_TRUE(PumpUntil([&] { return !states.seen.empty() && states.seen.back() == 4; }, 5s));
  EXPECT_EQ(states.seen, (std::vector<long>{0, 1, 2, 3, 4}));
  sink.Unadvise();

  DestroyWindow(host);
  const auto log = ravelin::testkit::ReadStandinLines(L"player.log");
  for (const char* line :
       {"load bag", "property WMode=Window", "property Quality=High", "property AllowNetworking=all",
        "property Loop=true", "property Menu=false", "LoadMovie 0 http://127.0.0.1/game/movie.swf", "Play", "close"}) {
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
  }
}

}  // namespace
