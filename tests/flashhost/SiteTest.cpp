// What the control answers the runtime: its interfaces, the site methods'
// results and out values, the runtime's events and ambient properties, and
// the resource-request callbacks of the content side.
#include <gtest/gtest.h>

#include <olectl.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "flashhost/FlashPlayerSite.h"
#include "framework/base/Handle.h"
#include "framework/gui/MainThread.h"
#include "tests/flashhost/FlashHostFixture.h"

namespace leafbook::testing {
namespace {

using Site = FlashHostTest;

VARIANT Text(const wchar_t* text) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = ::SysAllocString(text);
  return value;
}

VARIANT Number(LONG number) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

template <class I>
TComPtr<I> Query(IUnknown* object, REFIID iid) {
  TComPtr<I> result;
  EXPECT_EQ(object->QueryInterface(iid, result.PutVoid()), S_OK);
  return result;
}

TEST_F(Site, AnswersItsInterfacesWithOneIdentity) {
  TFlashPlayerControl& control = MakeControl(false);
  IUnknown* site = control.ControlBase();
  TComPtr<IUnknown> identity = Query<IUnknown>(site, IID_IUnknown);
  const IID* answered[] = {&DIID_IShockwaveFlashEvents,  &IID_IOleWindow,
                           &IID_IFlashPlayerControlBase, &IID_ISimpleFrameSite,
                           &IID_IPropertyNotifySink,     &IID_IDispatch,
                           &IID_IOleInPlaceFrame,        &IID_IOleInPlaceSite,
                           &IID_IOleControlSite,         &IID_IOleClientSite};
  for (const IID* iid : answered) {
    TComPtr<IUnknown> face = Query<IUnknown>(site, *iid);
    ASSERT_TRUE(face);
    EXPECT_EQ(Query<IUnknown>(face.Get(), IID_IUnknown).Get(), identity.Get());
  }
  // The event interface, IDispatch and IUnknown are one implementation.
  EXPECT_EQ(Query<IUnknown>(site, IID_IDispatch).Get(), identity.Get());
  EXPECT_EQ(Query<IUnknown>(site, DIID_IShockwaveFlashEvents).Get(), identity.Get());
  TComPtr<IUnknown> none;
  EXPECT_EQ(site->QueryInterface(IID_IOleObject, none.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(none);
}

TEST_F(Site, SiteMethodsAnswerAsTheContainerContractSays) {
  TFlashPlayerControl& control = MakeControl(true);
  IUnknown* site = control.ControlBase();
  auto client = Query<IOleClientSite>(site, IID_IOleClientSite);
  auto inPlace = Query<IOleInPlaceSite>(site, IID_IOleInPlaceSite);
  auto window = Query<IOleWindow>(site, IID_IOleWindow);
  auto frame = Query<IOleInPlaceFrame>(site, IID_IOleInPlaceFrame);
  auto controlSite = Query<IOleControlSite>(site, IID_IOleControlSite);
  auto dispatch = Query<IDispatch>(site, IID_IDispatch);
  auto simple = Query<ISimpleFrameSite>(site, IID_ISimpleFrameSite);
  auto notify = Query<IPropertyNotifySink>(site, IID_IPropertyNotifySink);

  EXPECT_EQ(client->SaveObject(), S_OK);
  IMoniker* moniker = reinterpret_cast<IMoniker*>(1);
  EXPECT_EQ(client->GetMoniker(0, 0, &moniker), E_NOTIMPL);
  EXPECT_EQ(moniker, nullptr);
  IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
  EXPECT_EQ(client->GetContainer(&container), E_NOINTERFACE);
  EXPECT_EQ(container, nullptr);
  EXPECT_EQ(client->OnShowWindow(TRUE), S_OK);
  EXPECT_EQ(client->ShowObject(), S_OK);

  HWND answer = nullptr;
  EXPECT_EQ(window->GetWindow(&answer), S_OK);
  EXPECT_EQ(answer, form_->Handle());
  EXPECT_EQ(frame->GetWindow(&answer), S_OK);
  EXPECT_EQ(answer, form_->Handle());
  EXPECT_EQ(inPlace->ContextSensitiveHelp(TRUE), S_OK);
  EXPECT_EQ(inPlace->CanInPlaceActivate(), S_OK);
  EXPECT_EQ(inPlace->Scroll(SIZE{1, 1}), E_NOTIMPL);
  EXPECT_EQ(inPlace->DiscardUndoState(), E_NOTIMPL);

  IOleInPlaceFrame* contextFrame = nullptr;
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  ASSERT_EQ(inPlace->GetWindowContext(&contextFrame, &document, &position, &clip, &info), S_OK);
  EXPECT_EQ(Query<IUnknown>(contextFrame, IID_IUnknown).Get(),
            Query<IUnknown>(site, IID_IUnknown).Get());
  contextFrame->Release();
  EXPECT_EQ(document, nullptr);
  EXPECT_EQ(position.right - position.left, control.Width());
  EXPECT_EQ(clip.right, 32767);
  EXPECT_EQ(clip.bottom, 32767);
  EXPECT_FALSE(info.fMDIApp);
  EXPECT_EQ(info.hwndFrame, form_->Handle());
  EXPECT_EQ(info.haccel, nullptr);
  EXPECT_EQ(info.cAccelEntries, 0u);

  log_->Clear();
  RECT moved{1, 2, 3, 4};
  EXPECT_EQ(inPlace->OnPosRectChange(&moved), S_OK);
  EXPECT_TRUE(log_->Saw("SetObjectRects 1,2,3,4 0,0,32767,32767"));
  EXPECT_EQ(inPlace->DeactivateAndUndo(), S_OK);
  EXPECT_TRUE(log_->Saw("UIDeactivate"));

  RECT border{};
  EXPECT_EQ(frame->GetBorder(&border), static_cast<HRESULT>(0x800401A1));
  EXPECT_EQ(frame->RequestBorderSpace(nullptr), static_cast<HRESULT>(0x800401A1));
  EXPECT_EQ(frame->SetBorderSpace(nullptr), E_NOTIMPL);
  EXPECT_EQ(frame->SetActiveObject(nullptr, nullptr), S_OK);
  EXPECT_EQ(frame->SetStatusText(L"x"), S_OK);
  EXPECT_EQ(frame->EnableModeless(TRUE), S_OK);
  EXPECT_EQ(frame->TranslateAccelerator(nullptr, 0), S_FALSE);
  EXPECT_EQ(frame->SetMenu(nullptr, nullptr, nullptr), S_OK);  // the form has no menu

  EXPECT_EQ(controlSite->OnControlInfoChanged(), E_NOTIMPL);
  EXPECT_EQ(controlSite->LockInPlaceActive(TRUE), E_NOTIMPL);
  EXPECT_EQ(controlSite->TranslateAccelerator(nullptr, 0), E_NOTIMPL);
  EXPECT_EQ(controlSite->OnFocus(TRUE), E_NOTIMPL);
  EXPECT_EQ(controlSite->ShowPropertyFrame(), E_NOTIMPL);
  IDispatch* extended = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(controlSite->GetExtendedControl(&extended), E_NOTIMPL);
  EXPECT_EQ(extended, nullptr);

  EXPECT_EQ(simple->PreMessageFilter(nullptr, 0, 0, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(simple->PostMessageFilter(nullptr, 0, 0, 0, nullptr, 0), S_OK);
  EXPECT_EQ(notify->OnChanged(1), S_OK);
  EXPECT_EQ(notify->OnRequestEdit(1), S_OK);

  UINT count = 7;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &typeInfo), E_NOTIMPL);
  EXPECT_EQ(typeInfo, nullptr);
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), E_NOTIMPL);
}

TEST_F(Site, WithoutAParentThereIsNoWindowToGive) {
  TFlashPlayerControl& control = MakeControl(false);
  auto window = Query<IOleWindow>(control.ControlBase(), IID_IOleWindow);
  HWND answer = reinterpret_cast<HWND>(1);
  EXPECT_EQ(window->GetWindow(&answer), E_FAIL);
  EXPECT_EQ(answer, nullptr);
}

TEST_F(Site, TransformCoordsConvertsBothWays) {
  TFlashPlayerControl& control = MakeControl(false);
  auto site = Query<IOleControlSite>(control.ControlBase(), IID_IOleControlSite);
  const int perInch = ScreenPixelsPerInch();
  POINTL himetric{2540, 5080};
  POINTF container{};
  ASSERT_EQ(site->TransformCoords(&himetric, &container, XFORMCOORDS_HIMETRICTOCONTAINER), S_OK);
  EXPECT_EQ(container.x, static_cast<float>(perInch));
  EXPECT_EQ(container.y, static_cast<float>(2 * perInch));
  // Back: rounded to the nearest, ties to even.
  const float tie = 0.5f * static_cast<float>(perInch) / 2540.0f;  // half a HIMETRIC unit
  container = POINTF{static_cast<float>(perInch), tie};
  ASSERT_EQ(site->TransformCoords(&himetric, &container, XFORMCOORDS_CONTAINERTOHIMETRIC), S_OK);
  EXPECT_EQ(himetric.x, 2540);
  EXPECT_EQ(himetric.y, std::lround(std::nearbyint(tie * 2540.0 / perInch)));
}

TEST_F(Site, RuntimeEventsReachTheirHandlersInNaturalOrder) {
  TFlashPlayerControl& control = MakeControl(true);
  std::vector<std::wstring> seen;
  control.OnFSCommand = [&](TFlashPlayerControl* sender, const std::wstring& command,
                            const std::wstring& args) {
    EXPECT_EQ(sender, &control);
    seen.push_back(L"fs " + command + L" " + args);
  };
  control.OnReadyStateChange = [&](TFlashPlayerControl*, int32_t state) {
    seen.push_back(L"ready " + std::to_wstring(state));
  };
  control.OnProgress = [&](TFlashPlayerControl*, int32_t percent) {
    seen.push_back(L"progress " + std::to_wstring(percent));
  };
  control.OnFlashCall = [&](TFlashPlayerControl*, const std::wstring& request) {
    seen.push_back(L"call " + request);
  };
  EXPECT_EQ(FireFakeEvent(*log_, 150, {Text(L"fullscreen"), Text(L"true")}), S_OK);
  EXPECT_EQ(FireFakeEvent(*log_, -609, {Number(4)}), S_OK);
  EXPECT_EQ(FireFakeEvent(*log_, 1958, {Text(L"50")}), S_OK);  // converted
  EXPECT_EQ(FireFakeEvent(*log_, 197, {Text(L"<invoke/>")}), S_OK);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"fs fullscreen true", L"ready 4", L"progress 50",
                                             L"call <invoke/>"}));
  // A parameter that will not convert, or is missing, drops the event.
  seen.clear();
  EXPECT_EQ(FireFakeEvent(*log_, -609, {Text(L"not a number")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FireFakeEvent(*log_, 150, {Text(L"only one")}), DISP_E_BADPARAMCOUNT);
  EXPECT_TRUE(seen.empty());
  // Without handlers the events are still taken.
  control.OnFSCommand = nullptr;
  EXPECT_EQ(FireFakeEvent(*log_, 150, {Text(L"a"), Text(L"b")}), S_OK);
}

TEST_F(Site, AHandlersExceptionStopsAtTheSink) {
  TFlashPlayerControl& control = MakeControl(true);
  control.OnFSCommand = [](TFlashPlayerControl*, const std::wstring&, const std::wstring&) {
    throw std::runtime_error("handler failed");
  };
  EXPECT_EQ(FireFakeEvent(*log_, 150, {Text(L"a"), Text(L"b")}), DISP_E_EXCEPTION);
}

TEST_F(Site, AmbientPropertiesAnswerFromTheControl) {
  TFont parentFont;
  parentFont.Height = -ScreenPixelsPerInch() / 6;  // 12 points
  form_->SetFont(parentFont);
  TFlashPlayerControl& control = MakeControl(true);
  control.SetParentFont(true);
  control.SetName("FlashPlayerControl1");
  auto dispatch = Query<IDispatch>(control.ControlBase(), IID_IDispatch);
  auto get = [&](DISPID id, WORD flags, VARIANT* result) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return dispatch->Invoke(id, IID_NULL, 0, flags, &none, result, nullptr, nullptr);
  };
  struct TCase {
    DISPID id;
    VARTYPE type;
    LONG value;  // for integers and booleans
  };
  const TCase cases[] = {
      {DISPID_AMBIENT_BACKCOLOR, VT_I4, static_cast<LONG>(control.Color())},
      {DISPID_AMBIENT_FORECOLOR, VT_I4, static_cast<LONG>(control.Font().Color)},
      {DISPID_AMBIENT_LOCALEID, VT_I4, static_cast<LONG>(::GetUserDefaultLCID())},
      {DISPID_AMBIENT_MESSAGEREFLECT, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_USERMODE, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_UIDEAD, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_SHOWGRABHANDLES, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_SHOWHATCHING, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_SUPPORTSMNEMONICS, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_AUTOCLIP, VT_BOOL, VARIANT_TRUE},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.id);
    TVariant result;
    ASSERT_EQ(get(c.id, DISPATCH_PROPERTYGET, result.Put()), S_OK);
    ASSERT_EQ(result.Get()->vt, c.type);
    EXPECT_EQ(c.type == VT_I4 ? result.Get()->lVal : result.Get()->boolVal, c.value);
  }
  TVariant name;
  ASSERT_EQ(get(DISPID_AMBIENT_DISPLAYNAME, DISPATCH_PROPERTYGET, name.Put()), S_OK);
  EXPECT_STREQ(name.Get()->bstrVal, L"FlashPlayerControl1");
  TVariant font;
  ASSERT_EQ(get(DISPID_AMBIENT_FONT, DISPATCH_PROPERTYGET, font.Put()), S_OK);
  ASSERT_EQ(font.Get()->vt, VT_DISPATCH);
  TComPtr<IFont> oleFont = Query<IFont>(font.Get()->pdispVal, IID_IFont);
  CY size{};
  oleFont->get_Size(&size);
  // The parent's font, as the control follows it: 12 points.
  EXPECT_EQ(size.int64, 120000);
  // A size of a fraction of a point keeps its fraction: −11 px is 8.25 pt at 96 per inch.
  parentFont.Height = -11;
  form_->SetFont(parentFont);
  TVariant small;
  ASSERT_EQ(get(DISPID_AMBIENT_FONT, DISPATCH_PROPERTYGET, small.Put()), S_OK);
  Query<IFont>(small.Get()->pdispVal, IID_IFont)->get_Size(&size);
  EXPECT_EQ(size.int64, 11LL * 72 * 10000 / ScreenPixelsPerInch());
  // In design state the runtime is told so.
  control.SetDesigning(true);
  TVariant userMode;
  ASSERT_EQ(get(DISPID_AMBIENT_USERMODE, DISPATCH_PROPERTYGET, userMode.Put()), S_OK);
  EXPECT_EQ(userMode.Get()->boolVal, VARIANT_FALSE);
  control.SetDesigning(false);
  // Outside the table, or not a property read: not a member.
  TVariant other;
  EXPECT_EQ(get(-713, DISPATCH_PROPERTYGET, other.Put()), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(get(DISPID_AMBIENT_USERMODE, DISPATCH_METHOD, other.Put()), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(get(DISPID_AMBIENT_USERMODE, DISPATCH_PROPERTYGET, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Site, FireOperationsRaiseTheirEventsOrAnswerSFalseUntouched) {
  TFlashPlayerControl& control = MakeControl(false);
  IFlashPlayerControlBase* base = control.ControlBase();
  TMemoryStream stream;
  BOOL handled = 5;
  TStream* out = &stream;
  EXPECT_EQ(base->FireLoadExternalResource(L"a", &stream), S_FALSE);
  EXPECT_EQ(base->FireLoadExternalResourceEx(L"a", &stream, &handled), S_FALSE);
  EXPECT_EQ(handled, 5);
  EXPECT_EQ(base->FireLoadExternalResourceAsync(L"a", &out), S_FALSE);
  EXPECT_EQ(out, &stream);
  EXPECT_EQ(base->FireUnloadExternalResourceAsync(&stream), S_FALSE);

  std::vector<std::wstring> seen;
  TMemoryStream supplied;
  control.OnLoadExternalResource = [&](TFlashPlayerControl*, const std::wstring& url, TStream* s) {
    seen.push_back(L"load " + url);
    s->WriteBuffer("x", 1);
  };
  control.OnLoadExternalResourceEx = [&](TFlashPlayerControl*, const std::wstring& url, TStream*,
                                         bool& claimed) {
    seen.push_back(L"ex " + url);
    claimed = true;
  };
  control.OnLoadExternalResourceAsync = [&](TFlashPlayerControl*, const std::wstring& path,
                                            TStream*& s) {
    seen.push_back(L"async " + path);
    s = &supplied;
  };
  control.OnUnloadExternalResourceAsync = [&](TFlashPlayerControl*, TStream* s) {
    seen.push_back(s == &supplied ? L"unload supplied" : L"unload other");
  };
  handled = FALSE;
  out = nullptr;
  EXPECT_EQ(base->FireLoadExternalResource(L"p/1.jpg", &stream), S_OK);
  EXPECT_EQ(stream.Size(), 1);
  EXPECT_EQ(base->FireLoadExternalResourceEx(L"p/2.jpg", &stream, &handled), S_OK);
  EXPECT_TRUE(handled);
  EXPECT_EQ(base->FireLoadExternalResourceAsync(L"p/3.jpg", &out), S_OK);
  EXPECT_EQ(out, &supplied);
  EXPECT_EQ(base->FireUnloadExternalResourceAsync(&supplied), S_OK);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"load p/1.jpg", L"ex p/2.jpg", L"async p/3.jpg",
                                             L"unload supplied"}));
}

TEST_F(Site, AHandlerThatClaimsTheWriterAndRaisesStillOwnsIt) {
  TFlashPlayerControl& control = MakeControl(false);
  control.OnLoadExternalResourceEx = [](TFlashPlayerControl*, const std::wstring&, TStream*,
                                        bool& claimed) {
    claimed = true;
    throw EStreamError("the handler failed after it took the writer");
  };
  TMemoryStream writer;
  BOOL handled = FALSE;
  // The failure is answered, and the claim stands: the caller must not free
  // a writer the handler may still hold.
  EXPECT_TRUE(FAILED(control.ControlBase()->FireLoadExternalResourceEx(L"a", &writer, &handled)));
  EXPECT_TRUE(handled);
}

TEST_F(Site, InPlaceActivationIsAcknowledgedWhateverTheRuntimeGives) {
  log_ = UseFakeRuntime(0x0A000000, false);  // no runtime object at all
  TFlashPlayerControl& control = MakeControl(false);
  auto inPlace = Query<IOleInPlaceSite>(control.ControlBase(), IID_IOleInPlaceSite);
  EXPECT_EQ(inPlace->OnInPlaceActivate(), S_OK);
}

TEST_F(Site, OtherThreadsAreToldTheBaseWithoutAskingTheRuntime) {
  TFlashPlayerControl& control = MakeControl(true);
  control.SetBase(L"C:\\books");
  log_->automationThreads.clear();
  std::wstring told;
  std::thread other([&] {
    BSTR base = nullptr;
    EXPECT_EQ(control.ControlBase()->GetBase(&base), S_OK);
    told = base ? base : L"";
    ::SysFreeString(base);
  });
  other.join();
  EXPECT_EQ(told, L"C:\\books");
  EXPECT_TRUE(log_->automationThreads.empty());
}

TEST_F(Site, AMovieSetFromAnotherThreadReachesTheRuntimeOnTheMainThread) {
  TFlashPlayerControl& control = MakeControl(true);
  log_->automationThreads.clear();
  HRESULT result = E_FAIL;
  std::atomic<bool> done{false};
  std::thread other([&] {
    result = control.ControlBase()->PutMovie(L"a.swf");
    done = true;
  });
  // The main thread runs the call while it waits, as its message loop would.
  while (!done) {
    CheckSynchronize();
    ::Sleep(1);
  }
  other.join();
  EXPECT_EQ(result, S_OK);
  EXPECT_TRUE(log_->Saw("Put Movie a.swf"));
  ASSERT_FALSE(log_->automationThreads.empty());
  for (DWORD thread : log_->automationThreads) {
    EXPECT_EQ(thread, ::GetCurrentThreadId());
  }
}

TEST_F(Site, TheControlGoesOnlyOnceTheResourceEventsOfOtherThreadsReturned) {
  MakeControl(false);
  TComPtr<IFlashPlayerControlBase> base(control_->ControlBase());
  std::vector<std::string> order;
  TWin32Handle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  control_->OnLoadExternalResource = [&](TFlashPlayerControl*, const std::wstring&, TStream*) {
    ::SetEvent(entered.Get());
    ::Sleep(50);
    // Writes of a handler wait for the main thread: it runs them while it waits.
    Synchronize([&] { order.push_back("write"); });
    order.push_back("returned");
  };
  std::thread request([&] {
    TMemoryStream stream;
    base->FireLoadExternalResource(L"p/1.jpg", &stream);
  });
  ASSERT_EQ(::WaitForSingleObject(entered.Get(), 10000), WAIT_OBJECT_0);
  control_.reset();
  order.push_back("gone");
  request.join();
  EXPECT_EQ(order, (std::vector<std::string>{"write", "returned", "gone"}));
  TMemoryStream stream;
  EXPECT_EQ(base->FireLoadExternalResource(L"p/2.jpg", &stream), S_FALSE);
}

TEST_F(Site, ADetachedSiteNeverReachesItsControl) {
  MakeControl(false);
  TComPtr<IFlashPlayerControlBase> base(control_->ControlBase());
  control_->OnLoadExternalResource = [](TFlashPlayerControl*, const std::wstring&, TStream*) {
    ADD_FAILURE() << "reached a control that is gone";
  };
  control_.reset();
  TMemoryStream stream;
  EXPECT_EQ(base->FireLoadExternalResource(L"a", &stream), S_FALSE);
  EXPECT_EQ(base->PutMovie(L"a"), E_UNEXPECTED);
  BSTR text = nullptr;
  EXPECT_EQ(base->GetBase(&text), E_UNEXPECTED);
  auto client = Query<IOleClientSite>(base.Get(), IID_IOleClientSite);
  EXPECT_EQ(client->ShowObject(), E_UNEXPECTED);
}

}  // namespace
}  // namespace leafbook::testing
