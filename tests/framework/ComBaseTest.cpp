// The base layer's COM pieces: the table-driven COM object, the one error
// boundary and the owners of system resources.
#include <gtest/gtest.h>

#include <ocidl.h>
#include <oleidl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/base/ComBoundary.h"
#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Resources.h"

namespace leafbook {
namespace {

// Two interfaces, the first also reached under an older id.
class TTwoFaces final
    : public TComObject<TTwoFaces,
                        TInterface<IOleInPlaceObject, &IID_IOleInPlaceObject, &IID_IOleWindow>,
                        TInterface<IPersist, &IID_IPersist>> {
 public:
  explicit TTwoFaces(bool& destroyed) : destroyed_(destroyed) {}
  ~TTwoFaces() { destroyed_ = true; }

  STDMETHODIMP GetWindow(HWND* window) override {
    *window = nullptr;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT, LPCRECT) override { return S_OK; }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }

 private:
  bool& destroyed_;
};

TEST(ComObject, AnswersItsListedIdsWithOneIdentity) {
  bool destroyed = false;
  TComPtr<IPersist> persist(NewComObject<TTwoFaces>(destroyed));
  TComPtr<IUnknown> fromPersist = persist.As<IUnknown>();
  TComPtr<IOleWindow> window = persist.As<IOleWindow>();
  TComPtr<IOleInPlaceObject> inPlace = persist.As<IOleInPlaceObject>();
  ASSERT_TRUE(fromPersist && window && inPlace);
  // IUnknown is the first interface, whichever interface is asked.
  EXPECT_EQ(fromPersist.Get(), window.As<IUnknown>().Get());
  EXPECT_EQ(static_cast<IUnknown*>(inPlace.Get()), fromPersist.Get());
  EXPECT_EQ(static_cast<IOleWindow*>(inPlace.Get()), window.Get());

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(persist->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(persist->QueryInterface(IID_IPersist, nullptr), E_POINTER);
}

TEST(ComObject, TheLastReleaseDeletesTheObject) {
  bool destroyed = false;
  IPersist* object = NewComObject<TTwoFaces>(destroyed);
  EXPECT_EQ(object->AddRef(), 1u);
  IOleWindow* window = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)), S_OK);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(window->Release(), 0u);
  EXPECT_TRUE(destroyed);
}

std::vector<std::string> gTraced;
void RecordTrace(const char* where, const char* what) noexcept {
  gTraced.push_back(std::string(where) + ": " + what);
}

class ErrorBoundary : public ::testing::Test {
 protected:
  void SetUp() override {
    gTraced.clear();
    SetBoundaryTracer(&RecordTrace);
  }
  void TearDown() override { SetBoundaryTracer(nullptr); }
};

TEST_F(ErrorBoundary, ExceptionsBecomeResultCodes) {
  struct TRow {
    const char* name;
    void (*body)();
    HRESULT expected;
    const char* trace;  // null: no trace line
  };
  const TRow rows[] = {
      {"no memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, nullptr},
      {"OLE error", [] { OleCheck(DISP_E_TYPEMISMATCH, "Invoke"); }, DISP_E_TYPEMISMATCH,
       "Method: Invoke failed (0x80020005)"},
      {"other exception", [] { throw std::runtime_error("broken"); }, E_FAIL, "Method: broken"},
      {"not an exception class", [] { throw 42; }, E_FAIL, "Method: unknown exception"},
      {"no exception", [] {}, S_OK, nullptr},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    gTraced.clear();
    EXPECT_EQ(ComBoundary("Method", row.body), row.expected);
    if (row.trace != nullptr) {
      EXPECT_EQ(gTraced, std::vector<std::string>{row.trace});
    } else {
      EXPECT_TRUE(gTraced.empty());
    }
  }
}

TEST_F(ErrorBoundary, ResultsPassThroughAndFailureValuesStandIn) {
  EXPECT_EQ(ComBoundary("Method", [] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(Boundary("WindowProc", LRESULT{-1}, [] { return LRESULT{7}; }), 7);
  EXPECT_EQ(
      Boundary("WindowProc", LRESULT{-1}, []() -> LRESULT { throw std::runtime_error("lost"); }),
      -1);
  bool ran = false;
  Boundary("Teardown", [&] {
    ran = true;
    throw std::runtime_error("ignored");
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(gTraced, (std::vector<std::string>{"WindowProc: lost", "Teardown: ignored"}));
}

TEST(Owners, VariantBuildersMoveAndDetach) {
  TVariant text = TVariant::String(L"page 1");
  ASSERT_EQ(text.Get()->vt, VT_BSTR);
  EXPECT_EQ(std::wstring(text.Get()->bstrVal), L"page 1");
  TVariant moved = std::move(text);
  EXPECT_EQ(text.Get()->vt, VT_EMPTY);
  VARIANT detached = moved.Detach();
  EXPECT_EQ(moved.Get()->vt, VT_EMPTY);
  EXPECT_EQ(std::wstring(detached.bstrVal), L"page 1");
  ::VariantClear(&detached);

  EXPECT_EQ(TVariant::Int(-3).Get()->lVal, -3);
  EXPECT_EQ(TVariant::Bool(true).Get()->boolVal, VARIANT_TRUE);
  TVariant slot = TVariant::Int(1);
  EXPECT_EQ(slot.Put()->vt, VT_EMPTY);
}

TEST(Owners, SelectedObjectIsRestoredBeforeItsOwnerDeletesIt) {
  TOwnedDC dc(::CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  const HGDIOBJ original = ::GetCurrentObject(dc.Get(), OBJ_PEN);
  HPEN handle = nullptr;
  {
    TGdiObject<HPEN> pen(::CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
    handle = pen.Get();
    TSelectedObject selected(dc.Get(), pen.Get());
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), handle);
  }
  EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), original);
  EXPECT_EQ(::GetObjectType(handle), 0u);  // deleted, not leaked while selected
}

TEST(Owners, WindowMenuAndGlobalMemoryAreFreedOnce) {
  HWND handle = nullptr;
  {
    TOwnedWindow window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr));
    handle = window.Get();
    ASSERT_TRUE(::IsWindow(handle));
  }
  EXPECT_FALSE(::IsWindow(handle));

  HMENU menuHandle = nullptr;
  {
    TOwnedMenu menu(::CreatePopupMenu());
    menuHandle = menu.Get();
    EXPECT_TRUE(::IsMenu(menuHandle));
  }
  EXPECT_FALSE(::IsMenu(menuHandle));

  TOwnedHGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, 16));
  {
    TGlobalLock lock(memory.Get());
    ASSERT_NE(lock.Get(), nullptr);
    EXPECT_EQ(::GlobalFlags(memory.Get()) & GMEM_LOCKCOUNT, 1u);
  }
  EXPECT_EQ(::GlobalFlags(memory.Get()) & GMEM_LOCKCOUNT, 0u);
}

TEST(Owners, InitialisationIsUndoneOnlyWhenItTook) {
  TComInitialization outer(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(outer.Result()));
  {
    // The other threading model is refused: nothing to undo.
    TComInitialization refused(COINIT_MULTITHREADED);
    EXPECT_EQ(refused.Result(), RPC_E_CHANGED_MODE);
    TOleInitialization ole;
    EXPECT_TRUE(SUCCEEDED(ole.Result()));
  }
  // Still initialised: a nested initialisation answers S_FALSE.
  TComInitialization nested(COINIT_APARTMENTTHREADED);
  EXPECT_EQ(nested.Result(), S_FALSE);
}

}  // namespace
}  // namespace leafbook
