// The stand-in runtime loaded the ordinary way (LoadLibrary and
// DllGetClassObject) into a small test container: activation, automation,
// movies by both routes, events, input, layers and damaged movies.
#include <gtest/gtest.h>

#include <olectl.h>
#include <wincodec.h>

#include <filesystem>
#include <memory>

#ifdef MINIPLAYER_TEST_MAPPED_LOAD
#include "runtime/DLLLoader.h"
#endif
#include "tests/miniplayer/PlayerFixture.h"
#include "tests/miniplayer/Png.h"
#include "tests/miniplayer/TestContainer.h"
#include "tests/package/PackageFixture.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::miniplayer::testing {
namespace {

using leafbook::testing::Png;
using swf::TActions;
using swf::TSwfWriter;
namespace fs = std::filesystem;

// {D27CDB6C-AE6D-11CF-96B8-444553540000}
const IID kAutomation = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const CLSID kClsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

std::wstring FileUrl(const fs::path& path) {
  std::wstring url = L"file:///" + path.wstring();
  for (wchar_t& c : url) {
    if (c == L'\\') {
      c = L'/';
    }
  }
  return url;
}

// Lets the control paint itself into a bitmap (the window may be off screen).
void PaintInto(HWND window) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(MiniPlayer, AnswersItsInterfacesAndCountsItsObjects) {
  const IID answered[] = {IID_IUnknown,
                          IID_IOleObject,
                          IID_IOleControl,
                          IID_IOleInPlaceObject,
                          IID_IOleInPlaceActiveObject,
                          IID_IOleWindow,
                          IID_IConnectionPointContainer,
                          IID_IDispatch};
  for (const IID& iid : answered) {
    TComPtr<IUnknown> answer;
    EXPECT_EQ(player_->QueryInterface(iid, answer.PutVoid()), S_OK);
  }
  TComPtr<IUnknown> automation;
  ASSERT_EQ(player_->QueryInterface(kAutomation, automation.PutVoid()), S_OK);
  EXPECT_EQ(automation.Get(), static_cast<IUnknown*>(dispatch_.Get()));
  TComPtr<IUnknown> none;
  EXPECT_EQ(player_->QueryInterface(IID_IPersistStorage, none.PutVoid()), E_NOINTERFACE);

  using TGetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using TCanUnload = HRESULT(WINAPI*)();
  auto getClassObject = reinterpret_cast<TGetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module_->handle, "DllGetClassObject")));
  auto canUnload = reinterpret_cast<TCanUnload>(
      reinterpret_cast<void*>(GetProcAddress(module_->handle, "DllCanUnloadNow")));
  TComPtr<IClassFactory> other;
  EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, other.PutVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  TComPtr<IUnknown> aggregated;
  EXPECT_EQ(module_->factory->CreateInstance(&sink_, IID_IUnknown, aggregated.PutVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(canUnload(), S_FALSE);

  CLSID clsid{};
  EXPECT_EQ(player_->GetUserClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kClsid));
}

TEST_F(MiniPlayer, ConnectionPointsAdviseAndEnumerate) {
  auto container = player_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  TComPtr<IConnectionPoint> notify;
  EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, notify.Put()), S_OK);
  TComPtr<IConnectionPoint> missing;
  EXPECT_EQ(container->FindConnectionPoint(IID_IStream, missing.Put()), CONNECT_E_NOCONNECTION);
  // A sink without the property interface cannot connect there.
  DWORD cookie = 0;
  EXPECT_EQ(notify->Advise(&sink_, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(point_->Unadvise(12345), CONNECT_E_NOCONNECTION);

  TComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(3, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) {
    got[i]->Release();
  }
}

TEST_F(MiniPlayer, ActivatesInPlaceAsAChildOfTheSiteWindow) {
  SIZEL extent{8467, 6350};  // 320 x 240 pixels at 96 dpi
  EXPECT_EQ(player_->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  SIZEL back{};
  EXPECT_EQ(player_->GetExtent(DVASPECT_CONTENT, &back), S_OK);
  EXPECT_EQ(back.cx, 8467);
  EXPECT_EQ(back.cy, 6350);
  EXPECT_EQ(player_->GetExtent(DVASPECT_ICON, &back), DV_E_DVASPECT);

  HWND window = Activate();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetParent(window), site_.Parent());
  EXPECT_NE(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE, 0);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);
  EXPECT_EQ(site_.calls.front(), "OnInPlaceActivate");

  TComPtr<IOleClientSite> site;
  EXPECT_EQ(player_->GetClientSite(site.Put()), S_OK);
  EXPECT_EQ(site.Get(), static_cast<IOleClientSite*>(&site_));

  // The container resizes through in-place activation again and SetObjectRects.
  RECT bigger{0, 0, 400, 300};
  EXPECT_EQ(player_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site_, 0, site_.Parent(), &bigger),
            S_OK);
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 400);
  RECT smaller{5, 5, 105, 85};
  auto inPlace = player_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
  EXPECT_EQ(inPlace->SetObjectRects(&smaller, &smaller), S_OK);
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 100);
  EXPECT_EQ(client.bottom, 80);

  EXPECT_EQ(player_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site_, 0, site_.Parent(), &smaller),
            S_OK);
  EXPECT_NE(std::find(site_.calls.begin(), site_.calls.end(), "OnUIActivate"), site_.calls.end());

  CONTROLINFO info{};
  info.cb = sizeof info;
  EXPECT_EQ(player_.As<IOleControl>(IID_IOleControl)->GetControlInfo(&info), S_OK);
  EXPECT_EQ(info.cAccel, 0);

  EXPECT_EQ(player_->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(site_.calls.back(), "OnInPlaceDeactivate");
  EXPECT_TRUE(WaitTrace("in place active 320x240"));
}

TEST_F(MiniPlayer, PropertiesRoundTripThroughDispatch) {
  struct TCase {
    const wchar_t* name;
    VARIANT (*make)();
    const wchar_t* expected;
  };
  const TCase cases[] = {
      {L"Quality", [] { return Int(3); }, L"3"},
      {L"ScaleMode", [] { return Int(2); }, L"2"},
      {L"AlignMode", [] { return Int(5); }, L"5"},
      {L"BackgroundColor", [] { return Int(0x123456); }, L"1193046"},
      {L"BGColor", [] { return Str(L"#A0B0C0"); }, L"#A0B0C0"},
      {L"Loop", [] { return Bool(false); }, L"False"},
      {L"Menu", [] { return Int(7); }, L"True"},
      {L"DeviceFont", [] { return Bool(true); }, L"True"},
      {L"EmbedMovie", [] { return Bool(true); }, L"True"},
      {L"WMode", [] { return Str(L"Transparent"); }, L"Transparent"},
      {L"SAlign", [] { return Str(L"LT"); }, L"LT"},
      {L"Base", [] { return Str(L"C:\\books\\"); }, L"C:\\books\\"},
      {L"Scale", [] { return Str(L"NoScale"); }, L"NoScale"},
      {L"Quality2", [] { return Str(L"Low"); }, L"Low"},
      {L"SWRemote", [] { return Str(L"remote"); }, L"remote"},
      {L"Stacking", [] { return Str(L"above"); }, L"above"},
      {L"FlashVars", [] { return Str(L"page=3&zoom=1"); }, L"page=3&zoom=1"},
      {L"AllowScriptAccess", [] { return Str(L"always"); }, L"always"},
      {L"MovieData", [] { return Str(L"data"); }, L"data"},
      {L"AllowFullscreen", [] { return Str(L"TRUE"); }, L"true"},
      {L"AllowFullscreen", [] { return Str(L"yes"); }, L"false"},
      {L"Movie", [] { return Str(L"C:\\nowhere\\none.swf"); }, L"C:\\nowhere\\none.swf"},
      // Names are matched in any letter case, as automation does.
      {L"flashvars", [] { return Str(L"a=1"); }, L"a=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
    EXPECT_EQ(Put(dispatch_.Get(), c.name, c.make()), S_OK);
    VARIANT value = Get(dispatch_.Get(), c.name);
    EXPECT_EQ(AsString(value), c.expected);
    VariantClear(&value);
  }
  // BGColor and BackgroundColor are one colour.
  EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"BackgroundColor")), 0xA0B0C0);

  HRESULT hr = S_OK;
  EXPECT_EQ(Put(dispatch_.Get(), L"ReadyState", Int(1)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"ReadyState")), 4);
  EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"TotalFrames")), 0);
  Get(dispatch_.Get(), L"NoSuchProperty", &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);
  DISPID id = 0;
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchProperty")};
  EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(Put(dispatch_.Get(), L"Quality", Str(L"not a number")), DISP_E_TYPEMISMATCH);
}

TEST_F(MiniPlayer, MethodsAnswer) {
  HRESULT hr = S_OK;
  EXPECT_EQ(Number(L"FlashVersion"), 10 << 16);
  EXPECT_EQ(AsString(Call(dispatch_.Get(), L"GetVariable", {Str(L"$version")})), L"WIN 10,0,45,2");
  Call(dispatch_.Get(), L"SetVariable", {Str(L"page"), Str(L"7")}, &hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(AsString(Call(dispatch_.Get(), L"GetVariable", {Str(L"page")})), L"7");
  Call(dispatch_.Get(), L"TSetProperty", {Str(L"/"), Int(13), Str(L"x")});
  EXPECT_EQ(AsString(Call(dispatch_.Get(), L"TGetProperty", {Str(L"/"), Int(13)})), L"x");
  Call(dispatch_.Get(), L"TSetPropertyNum", {Str(L"/"), Int(14), Dbl(2.5)});
  EXPECT_DOUBLE_EQ(Call(dispatch_.Get(), L"TGetPropertyNum", {Str(L"/"), Int(14)}).dblVal, 2.5);
  EXPECT_EQ(Number(L"CurrentFrame"), -1);
  EXPECT_EQ(Number(L"PercentLoaded"), 0);
  for (const wchar_t* name : {L"Play", L"Stop", L"Back", L"Forward", L"Rewind", L"StopPlay"}) {
    Call(dispatch_.Get(), name, {}, &hr);
    EXPECT_EQ(hr, S_OK);
  }
  Call(dispatch_.Get(), L"Zoom", {Int(50)}, &hr);
  EXPECT_EQ(hr, S_OK);
  Call(dispatch_.Get(), L"SetZoomRect", {Int(0), Int(0), Int(10), Int(10)}, &hr);
  EXPECT_EQ(hr, S_OK);
  Call(dispatch_.Get(), L"Pan", {Int(1), Int(2), Int(0)}, &hr);
  EXPECT_EQ(hr, S_OK);
  Call(dispatch_.Get(), L"GotoFrame", {}, &hr);
  EXPECT_EQ(hr, DISP_E_BADPARAMCOUNT);

  // CallFunction hands the request to the container as FlashCall; the
  // container's SetReturnValue during that event is the answer.
  sink_.onEvent = [&](const TEvent& event) {
    if (event.id == 197) {
      Call(dispatch_.Get(), L"SetReturnValue", {Str(L"<string>ok</string>")});
    }
  };
  EXPECT_EQ(AsString(Call(dispatch_.Get(), L"CallFunction", {Str(L"<invoke name=\"f\"/>")})),
            L"<string>ok</string>");
  EXPECT_TRUE(sink_.Has(197, {L"<invoke name=\"f\"/>"}));
}

std::string TwoFrameMovie(bool compressed) {
  TSwfWriter movie(6, 320, 240, 30.0);
  movie.SetBackgroundColor(0x336699);
  movie.DoAction(TActions().FsCommand("hello", "world").Stop()).ShowFrame();
  movie.DoAction(TActions().FsCommand("page", "2")).ShowFrame();
  return movie.Bytes(compressed);
}

struct TRouteCase {
  bool compressed;
  bool byMoniker;
};

class MiniPlayerRoutes : public MiniPlayer, public ::testing::WithParamInterface<TRouteCase> {};

TEST_P(MiniPlayerRoutes, AMoviePlaysAndRaisesItsEvents) {
  const fs::path path = Write("movie.swf", TwoFrameMovie(GetParam().compressed));
  const std::wstring url = GetParam().byMoniker ? FileUrl(path) : path.wstring();
  ASSERT_TRUE(Play(url)) << ReadTrace(trace_.wstring());
  EXPECT_EQ(sink_.ReadyStates(), (std::vector<long>{0, 3, 4}));
  EXPECT_TRUE(sink_.Has(1958, {L"100"}));
  // Command and arguments arrive reversed, as automation passes them.
  EXPECT_TRUE(PumpUntil([&] { return sink_.Has(150, {L"hello", L"world"}); }));
  EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"TotalFrames")), 2);
  EXPECT_EQ(Number(L"CurrentFrame"), 0);
  EXPECT_EQ(Number(L"PercentLoaded"), 100);
  EXPECT_EQ(AsString(Get(dispatch_.Get(), L"Movie")), url);
  Call(dispatch_.Get(), L"Forward", {});
  EXPECT_EQ(Number(L"CurrentFrame"), 1);
  EXPECT_TRUE(PumpUntil([&] { return sink_.Has(150, {L"page", L"2"}); }));

  const std::string route = GetParam().byMoniker ? "via moniker" : "via file";
  EXPECT_TRUE(TraceHas("request level 0 " + route)) << ReadTrace(trace_.wstring());
  EXPECT_TRUE(TraceHas("event FSCommand hello world"));
  EXPECT_TRUE(TraceHas("frame 2 of 2 level 0"));
  if (GetParam().byMoniker) {
    EXPECT_FALSE(TraceHas("via file"));
  }
}

INSTANTIATE_TEST_SUITE_P(FileAndMoniker, MiniPlayerRoutes,
                         ::testing::Values(TRouteCase{false, false}, TRouteCase{true, false},
                                           TRouteCase{false, true}, TRouteCase{true, true}));

class TPropertySink final : public IPropertyNotifySink {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyNotifySink)) {
      *out = static_cast<IPropertyNotifySink*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP OnChanged(DISPID id) override {
    changed.push_back(id);
    return S_OK;
  }
  STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }

  std::vector<DISPID> changed;
};

TEST_F(MiniPlayer, ReadyStateChangesReachPropertySinks) {
  TPropertySink sink;
  TComPtr<IConnectionPoint> point;
  player_.As<IConnectionPointContainer>(IID_IConnectionPointContainer)
      ->FindConnectionPoint(IID_IPropertyNotifySink, point.Put());
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  ASSERT_TRUE(Play(Write("notify.swf", TwoFrameMovie(false)).wstring()));
  EXPECT_EQ(sink.changed,
            (std::vector<DISPID>{DISPID_READYSTATE, DISPID_READYSTATE, DISPID_READYSTATE}));
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST_F(MiniPlayer, FramesAdvanceOnTheTimerUntilTheEnd) {
  TSwfWriter movie(6, 100, 100, 60.0);
  for (int i = 0; i < 4; ++i) {
    movie.ShowFrame();
  }
  Put(dispatch_.Get(), L"Loop", Bool(false));
  ASSERT_TRUE(Play(Write("run.swf", movie.Bytes()).wstring()));
  EXPECT_TRUE(PumpUntil([&] { return Number(L"IsPlaying") == 0; }));
  EXPECT_EQ(Number(L"CurrentFrame"), 3);
  EXPECT_TRUE(TraceHas("frame 4 of 4 level 0"));
}

TEST_F(MiniPlayer, KeysAndClicksTurnPages) {
  TSwfWriter movie;
  movie.DoAction(TActions().Stop()).ShowFrame().ShowFrame().ShowFrame();
  HWND window = Activate();
  ASSERT_TRUE(Play(Write("pages.swf", movie.Bytes()).wstring()));
  SendMessageW(window, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(Number(L"CurrentFrame"), 1);
  SendMessageW(window, WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(Number(L"CurrentFrame"), 0);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_EQ(Number(L"CurrentFrame"), 1);
  EXPECT_TRUE(TraceHas("key 39"));
  EXPECT_TRUE(TraceHas("key 37"));
  EXPECT_TRUE(TraceHas("mouse left click"));
  // The page turn clicks, or says why it cannot.
  EXPECT_TRUE(TraceHas("sound click"));
}

TEST_F(MiniPlayer, ImagesLoadIntoLayersRelativeToTheMovie) {
  Write("pages/1.png", Png(40, 20, 0xFF00FF00));
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl("pages/1.png", "_level1").Stop()).ShowFrame();
  const fs::path path = Write("book.swf", movie.Bytes());
  ASSERT_TRUE(Play(path.wstring()));
  ASSERT_TRUE(WaitTrace("loaded level 1 image 40x20")) << ReadTrace(trace_.wstring());
  const std::wstring expected = (dir_.Path() / L"pages/1.png").wstring();
  EXPECT_TRUE(TraceHas("request level 1 via file " + std::string(expected.begin(), expected.end())))
      << ReadTrace(trace_.wstring());
}

TEST_F(MiniPlayer, PaintsTheBackgroundAndTheLayers) {
  HWND window = Activate();
  TSwfWriter movie;
  movie.SetBackgroundColor(0x102030);
  movie.DoAction(TActions().GetUrl("red.png", "_level1").Stop()).ShowFrame();
  Write("red.png", Png(10, 10, 0xFFFF0000));
  ASSERT_TRUE(Play(Write("paint.swf", movie.Bytes()).wstring()));
  ASSERT_TRUE(WaitTrace("loaded level 1 image"));
  // Painted into a bitmap of ours: the test window need not be on screen.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 320, 240);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  auto pixelAt = [&](int x, int y) { return GetPixel(dc, x, y); };
  // The square image fills the middle of the 320 x 240 window; the sides show the background.
  EXPECT_EQ(pixelAt(160, 120), RGB(255, 0, 0));
  EXPECT_EQ(pixelAt(10, 120), RGB(0x10, 0x20, 0x30));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(MiniPlayer, LayerMoviesPlayAndUnload) {
  TSwfWriter child;
  child.DoAction(TActions().FsCommand("child", "here").Stop()).ShowFrame();
  Write("child.swf", child.Bytes());
  TSwfWriter main;
  main.DoAction(TActions().Push("child.swf").Push("_level2").GetUrl2().Stop()).ShowFrame();
  main.DoAction(TActions().GetUrl("", "_level2")).ShowFrame();
  ASSERT_TRUE(Play(Write("main.swf", main.Bytes()).wstring()));
  EXPECT_TRUE(PumpUntil([&] { return sink_.Has(150, {L"child", L"here"}); }));
  Call(dispatch_.Get(), L"TGotoFrame", {Str(L"_level2"), Int(0)});
  EXPECT_EQ(AsInt(Call(dispatch_.Get(), L"TCurrentFrame", {Str(L"_level2")})), 0);
  Call(dispatch_.Get(), L"Forward", {});
  EXPECT_TRUE(WaitTrace("unloaded level 2"));
  EXPECT_EQ(AsInt(Call(dispatch_.Get(), L"TCurrentFrame", {Str(L"_level2")})), -1);
}

TEST_F(MiniPlayer, LoadMovieIntoALayerByMethod) {
  TSwfWriter movie;
  movie.FrameLabel("first").DoAction(TActions().Stop()).ShowFrame();
  movie.FrameLabel("second").ShowFrame();
  const fs::path path = Write("layer.swf", movie.Bytes());
  HRESULT hr = S_OK;
  Call(dispatch_.Get(), L"LoadMovie", {Int(3), Str(path.wstring())}, &hr);
  EXPECT_EQ(hr, S_OK);
  ASSERT_TRUE(WaitTrace("loaded level 3 movie of 2 frames"));
  Call(dispatch_.Get(), L"TGotoLabel", {Str(L"_level3"), Str(L"second")});
  EXPECT_EQ(AsString(Call(dispatch_.Get(), L"TCurrentLabel", {Str(L"_level3")})), L"second");
}

TEST_F(MiniPlayer, DamagedMoviesShowANoticeAndNeverCrash) {
  const std::string good = TwoFrameMovie(false);
  const std::string packed = TwoFrameMovie(true);
  const std::pair<const char*, std::string> cases[] = {
      {"truncated", good.substr(0, good.size() - 7)},
      {"compressed truncated", packed.substr(0, packed.size() - 9)},
      {"header only", good.substr(0, 5)},
      {"garbage after signature", "FWS" + std::string(64, '\xFF')},
      {"not a movie", "just some text that is no movie"},
      {"empty", ""},
  };
  HWND window = Activate();
  int index = 0;
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    const fs::path path = Write("damaged" + std::to_string(index++) + ".swf", bytes);
    ASSERT_TRUE(Play(path.wstring())) << ReadTrace(trace_.wstring());
    PaintInto(window);
    EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"TotalFrames")), 0);
  }
  EXPECT_TRUE(TraceHas("notice: damaged movie: truncated"));
  EXPECT_TRUE(TraceHas("notice: not a movie"));
  // Still a working runtime afterwards.
  ASSERT_TRUE(Play(Write("good.swf", good).wstring()));
  EXPECT_EQ(AsInt(Get(dispatch_.Get(), L"TotalFrames")), 2);
}

TEST_F(MiniPlayer, UrlsThatFailAreDroppedQuietly) {
  Put(dispatch_.Get(), L"Movie", Str(L"file://46A10F369771449587DE913EFC0A258"));
  Put(dispatch_.Get(), L"Movie", Str((dir_.Path() / "missing.swf").wstring()));
  ASSERT_TRUE(WaitTrace("dropped file://46A10F369771449587DE913EFC0A258"))
      << ReadTrace(trace_.wstring());
  ASSERT_TRUE(WaitTrace("missing.swf: "));
  EXPECT_TRUE(TraceHas("file route failed"));
  // An image that does not decode, asked for by a movie, is dropped as well.
  Write("broken.png", "\x89PNG but broken");
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl("broken.png", "_level1").Stop()).ShowFrame();
  ASSERT_TRUE(Play(Write("asks.swf", movie.Bytes()).wstring()));
  EXPECT_TRUE(WaitTrace("broken.png: neither a movie nor an image"));
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

TEST_F(MiniPlayer, ContextMenuComesFromTheModulesResources) {
  HWND window = Activate();
  // The menu runs its own loop; a timer closes it again.
  SetTimer(nullptr, 0, 200, &CloseMenu);
  SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(50, 50));
  EXPECT_TRUE(TraceHas("context menu shown")) << ReadTrace(trace_.wstring());
  EXPECT_FALSE(TraceHas("page cursor missing"));
}

TEST_F(MiniPlayer, ImportsEveryFunctionAHostAnswersByName) {
  // The names a host gives replacements for; GetFileSizeEx is looked up at run time.
  const char* const names[] = {"CreateURLMoniker",
                               "RegisterClassExA",
                               "RegisterClassA",
                               "RegisterClassExW",
                               "RegisterClassW",
                               "CreateWindowExA",
                               "CreateWindowExW",
                               "LoadCursorA",
                               "LoadMenuA",
                               "waveOutWrite",
                               "waveOutOpen",
                               "waveOutClose",
                               "FlushInstructionCache",
                               "CreateFileA",
                               "VirtualAlloc",
                               "ReadFile",
                               "CloseHandle",
                               "GetFileSize",
                               "SetFilePointer",
                               "SetFilePointerEx",
                               "CreateFileW",
                               "GetProcAddress"};
  auto* base = reinterpret_cast<const BYTE*>(module_->handle);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  // The module's own kind of headers (32-bit, or 64-bit in a 64-bit test build).
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> imported;
  for (auto* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    for (auto* thunk =
             reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
         thunk->u1.AddressOfData != 0; ++thunk) {
      if ((thunk->u1.Ordinal & IMAGE_ORDINAL_FLAG) == 0) {
        imported.push_back(
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData)->Name);
      }
    }
  }
  for (const char* name : names) {
    EXPECT_NE(std::find(imported.begin(), imported.end(), name), imported.end()) << name;
  }
}

TEST_F(MiniPlayer, OlderMoviesAskForFilesByTheirEightBitNames) {
  Write("old.png", Png(4, 4, 0xFF0000FF));
  TSwfWriter movie(5);
  movie.DoAction(TActions().GetUrl("old.png", "_level1").Stop()).ShowFrame();
  ASSERT_TRUE(Play(Write("old.swf", movie.Bytes()).wstring()));
  EXPECT_TRUE(WaitTrace("loaded level 1 image 4x4"));
  EXPECT_TRUE(TraceHas("8-bit file name"));
}

TEST_F(MiniPlayer, AboutComesUpAsTheMenusCommand) {
  HWND window = Activate();
  SendMessageW(window, WM_COMMAND, 1006, 0);  // the context menu's About
  EXPECT_TRUE(TraceHas("about shown"));
  HWND about = FindWindowW(L"MiniPlayerAbout", nullptr);
  ASSERT_NE(about, nullptr);
  SendMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(IsWindow(about));
}

TEST(MiniPlayerVersions, EachVariantReportsItsVersion) {
  struct TCase {
    const wchar_t* file;
    WORD major, minor, build, revision;
  };
  const TCase cases[] = {
      {L"miniplayer.ocx", 10, 0, 45, 2},         {L"miniplayer-6.ocx", 6, 0, 79, 0},
      {L"miniplayer-7.ocx", 7, 0, 19, 0},        {L"miniplayer-8.ocx", 8, 0, 24, 0},
      {L"miniplayer-9.0.28.0.ocx", 9, 0, 28, 0}, {L"miniplayer-9.0.27.0.ocx", 9, 0, 27, 0},
  };
  OleInitialize(nullptr);
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.file, c.file + wcslen(c.file)));
    const std::wstring path = TModule::PathOf(c.file);
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), c.major);
    EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), c.minor);
    EXPECT_EQ(HIWORD(fixed->dwProductVersionLS), c.build);
    EXPECT_EQ(LOWORD(fixed->dwProductVersionLS), c.revision);

    TModule module(c.file);
    TComPtr<IOleObject> object = module.Create();
    ASSERT_TRUE(object);
    auto dispatch = object.As<IDispatch>(IID_IDispatch);
    const long version = AsInt(Call(dispatch.Get(), L"FlashVersion", {}));
    EXPECT_EQ((version >> 16) & 0xFF, c.major);
    EXPECT_EQ(version & 0xFFFF, c.minor);
  }
  OleUninitialize();
}

TEST(MiniPlayerRegistration, RegistersItsFileAsTheInProcessServer) {
  // Registration goes to a private key that stands in for HKEY_CLASSES_ROOT
  // in this process only, so other programs never see a half-installed runtime.
  HKEY privateRoot = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LeafbookMiniplayerTest", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &privateRoot, nullptr),
            ERROR_SUCCESS);
  if (RegOverridePredefKey(HKEY_CLASSES_ROOT, privateRoot) != ERROR_SUCCESS) {
    RegCloseKey(privateRoot);
    GTEST_SKIP() << "no per-process registry override here";
  }
  TModule module(L"miniplayer.ocx");
  using TRegister = HRESULT(WINAPI*)();
  auto registerServer = reinterpret_cast<TRegister>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, "DllRegisterServer")));
  auto unregisterServer = reinterpret_cast<TRegister>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, "DllUnregisterServer")));
  ASSERT_EQ(registerServer(), S_OK);
  char value[261] = {};
  LONG size = sizeof value;
  EXPECT_EQ(
      RegQueryValueA(HKEY_CLASSES_ROOT,
                     "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32", value, &size),
      ERROR_SUCCESS);
  EXPECT_NE(std::string(value).find("miniplayer.ocx"), std::string::npos) << value;
  EXPECT_EQ(unregisterServer(), S_OK);
  HKEY gone = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}", 0,
                          KEY_READ, &gone),
            ERROR_SUCCESS);
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  RegDeleteKeyW(privateRoot, L"CLSID");
  RegCloseKey(privateRoot);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\LeafbookMiniplayerTest");
}

#ifdef MINIPLAYER_TEST_MAPPED_LOAD
// Mapped by the host's loader: no system loader, no TLS callbacks, an
// instance handle that is only the mapped image's address.
TEST(MiniPlayerMapped, PlaysWhenMappedWithoutTheSystemLoader) {
  OleInitialize(nullptr);
  leafbook::testing::TTempDir dir;
  const fs::path trace = dir.Path() / "trace.txt";
  SetEnvironmentVariableW(L"MINIPLAYER_TRACE", trace.wstring().c_str());
  {
    TMemoryStream image;
    const std::string bytes =
        leafbook::testing::ReadBytes(fs::path(TModule::PathOf(L"miniplayer.ocx")));
    image.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    TDLLLoader loader;
    loader.LoadFromStream(image);
    using TGetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<TGetClassObject>(loader.FindExport("DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    TComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(kClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    TComPtr<IOleObject> player;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, player.PutVoid()), S_OK);
    TSite site;
    TEventSink sink;
    ASSERT_EQ(player->SetClientSite(&site), S_OK);
    TComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    player.As<IConnectionPointContainer>(IID_IConnectionPointContainer)
        ->FindConnectionPoint(kEvents, point.Put());
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    ASSERT_EQ(
        player->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.Parent(), &site.position),
        S_OK);

    const fs::path movie = dir.Path() / "mapped.swf";
    leafbook::testing::WriteBytes(movie, TwoFrameMovie(true));
    auto dispatch = player.As<IDispatch>(IID_IDispatch);
    EXPECT_EQ(Put(dispatch.Get(), L"Movie", Str(movie.wstring())), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return sink.Has(150, {L"hello", L"world"}); }));
    EXPECT_EQ(AsInt(Call(dispatch.Get(), L"FlashVersion", {})), 10 << 16);

    point->Unadvise(cookie);
    player->Close(OLECLOSE_NOSAVE);
    player->SetClientSite(nullptr);
    player.Reset();
    factory.Reset();
    Pump(20);
  }
  const std::string text = ReadTrace(trace.wstring());
  EXPECT_NE(text.find("frame 1 of 2 level 0"), std::string::npos);
  EXPECT_NE(text.find("object destroyed"), std::string::npos);
  SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr);
  OleUninitialize();
}
#endif

}  // namespace
}  // namespace leafbook::miniplayer::testing
