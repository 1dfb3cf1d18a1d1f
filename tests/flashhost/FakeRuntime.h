// A recording stand-in for a runtime object, for what the stand-in runtime
// cannot show: the order of the host's OLE calls, the extents it sets, and
// runtimes that fail, have no in-place object or no window. It answers
// automation by name from a table of values and records every call.
#pragma once

#include <ocidl.h>
#include <oleidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Resources.h"
#include "runtime/FlashOCXCodeProvider.h"

namespace leafbook::testing {

// How a fake runtime behaves, and what it saw.
struct TFakeRuntimeLog {
  std::vector<std::string> calls;
  // FlashVersion's answer: major version in bits 16..23.
  LONG flashVersion = 8 << 16;
  HRESULT setClientSite = S_OK;
  HRESULT getExtent = S_OK;
  SIZEL extent{8467, 6350};  // 320 x 240 pixels at 96 per inch
  HRESULT setExtent = S_OK;
  bool activates = true;  // DoVerb delivers the in-place object
  bool hasWindow = true;  // GetWindow gives a window
  bool events = true;     // has the event connection point
  bool failControlQuery = false;
  bool failAutomation = false;  // every Invoke fails with E_FAIL
  // DoVerb shows the window every time, as a runtime may on any activation.
  bool showsOnEveryVerb = false;
  // What the runtime's window received, in order (message numbers).
  std::vector<UINT> messages;
  // Where the last WM_CONTEXTMENU the window received points (screen).
  POINT contextMenuAt{};
  // The threads the automation interface was called on.
  std::vector<DWORD> automationThreads;
  // Automation values by name; Put replaces, Get reads.
  std::map<std::wstring, std::wstring> values;
  IDispatch* eventSink = nullptr;  // the advised sink, borrowed
  IOleClientSite* site = nullptr;  // borrowed
  HWND window = nullptr;

  bool Saw(const std::string& call) const;
  // The calls since the last Clear, joined by ", ".
  std::string Joined() const;
  void Clear() { calls.clear(); }
};

// The process-wide provider for the fake: each object it makes shares log.
class TFakeProvider : public TFlashOCXCodeProviderBasedOnStream {
 public:
  TFakeProvider(std::shared_ptr<TFakeRuntimeLog> log, uint32_t moduleVersion, bool creates = true)
      : log_(std::move(log)), moduleVersion_(moduleVersion), creates_(creates) {}
  HRESULT CreateInstance(REFIID iid, void** out) override;
  uint32_t GetVersion() const override { return moduleVersion_; }

 private:
  std::shared_ptr<TFakeRuntimeLog> log_;
  uint32_t moduleVersion_;
  bool creates_;
};

// Installs a fake provider as the process's one.
std::shared_ptr<TFakeRuntimeLog> UseFakeRuntime(uint32_t moduleVersion = 0x0A000000,
                                                bool creates = true);

// Raises a runtime event at the sink the host advised: args in natural order.
HRESULT FireFakeEvent(TFakeRuntimeLog& log, DISPID id, std::vector<VARIANT> args);

}  // namespace leafbook::testing
