// The process's one content manager. Everything the runtime opens, by URL
// moniker or by file function, passes through it. A movie the host plays from
// a stream gets an invented path in an in-memory folder that belongs to the
// control playing it; each request is then answered by the provider prepared
// for the movie, by the owning control's resource events, by the
// application's global handler, or, as a last resort, by the disk or the
// system's URL monikers. Files opened by path are served through fake file
// handles: event handles that stand for a host stream until they are closed.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "content/ContentProvider.h"
#include "content/FlashPlayerControlBase.h"
#include "framework/base/ComPtr.h"
#include "framework/base/CriticalSection.h"
#include "framework/base/Handle.h"
#include "framework/base/Streams.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

// The application's handler for URLs outside the in-memory folders, called
// with the URL, a writer whose bytes flow to the runtime, and Handled = false.
// A handler that serves the URL sets Handled and either frees the writer when
// it has written everything (which ends the data) or moves it out of the slot
// to write later from any thread. A writer left in the slot is freed when the
// handler returns.
using TGlobalOnLoadExternalResourceEx =
    std::function<void(const std::wstring& url, std::unique_ptr<TStream>& writer, bool& handled)>;

// Same request: both name the same file of the same in-memory folder, or,
// outside the folders, the texts are equal (case-sensitive).
bool SameUrl(const std::wstring& registered, const std::wstring& requested);

class TContentManager {
 public:
  TContentManager() = default;
  // Entries still listed go without their release steps: no event is raised
  // (their controls may be gone); handles are closed and streams freed.
  ~TContentManager();
  TContentManager(const TContentManager&) = delete;
  TContentManager& operator=(const TContentManager&) = delete;

  // A movie for control in a new in-memory folder: makes the control load
  // the placeholder, then the folder's movie path (into layer when intoLayer).
  // The returned writer delivers the movie's bytes; freeing it ends them.
  std::unique_ptr<TStream> CreateMovieStream(IFlashPlayerControlBase* control, bool intoLayer,
                                             int32_t layer);
  // The same, writing the whole of stream (from its beginning) at once.
  void LoadMovieFromStream(IFlashPlayerControlBase* control, bool intoLayer, TStream& stream,
                           int32_t layer);
  // Forgets every folder of control; its providers and open files stay, but
  // closing such a file no longer raises the control's unload event.
  void UnregisterControl(IFlashPlayerControlBase* control);

  // A TMyMoniker for url; always S_OK (E_POINTER without an out slot).
  HRESULT CreateMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker);
  // Answers a moniker's BindToStorage. MK_S_ASYNCHRONOUS when someone serves
  // url (the data arrives through callback), MK_E_NOSTORAGE when nobody
  // does, E_FAIL for a folder no control owns or an unexpected failure.
  HRESULT BindResource(IBindCtx* bindContext, IMoniker* left, REFIID iid, IMoniker* context,
                       IBindStatusCallback* callback, const std::wstring& url, void** object);

  // CreateFileA / CreateFileW as the runtime calls them: a fake handle for a
  // file a control supplies, else the system's open of the file under the
  // control's base folder, else the system's open of the path as given.
  HANDLE OpenFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
  HANDLE OpenFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
  // The stream behind a fake handle, or null for any other handle. It stays
  // valid until ReleaseFakeHandle for that handle.
  TStream* FindFakeHandleStream(HANDLE handle);
  // Closes a fake handle: the owning control's OnUnloadExternalResourceAsync
  // sees the stream, then the handle is closed and the stream freed. False
  // (and nothing done) for any other handle.
  bool ReleaseFakeHandle(HANDLE handle);

  // Fills the slot (empty: clears it). On the main thread it returns once
  // calls of the handler it replaces that other threads are making have
  // returned, running the main-thread queue meanwhile: the handler's owner
  // may go after it.
  void SetGlobalOnLoadExternalResourceEx(TGlobalOnLoadExternalResourceEx handler);

 private:
  struct TURLContentProviderPair {
    std::wstring url;  // the in-memory path exactly as registered
    TComPtr<IContentProvider> provider;
  };
  // The reference keeps the control's interface valid for a thread that
  // found it while another unregisters the control; the interface answers
  // without reaching a control that has gone.
  struct TFlashPlayerControlIdPair {
    uint32_t id;
    TComPtr<IFlashPlayerControlBase> control;
  };
  struct TFakeHandleStreamPair {
    TWin32Handle handle;
    std::unique_ptr<TStream> stream;
    // The one that supplied the stream; null once it unregistered.
    TComPtr<IFlashPlayerControlBase> control;
  };

  std::wstring NewMemoryPath();
  TComPtr<IContentProvider> TakeProvider(const std::wstring& url);
  void RegisterControl(uint32_t id, IFlashPlayerControlBase* control);
  TComPtr<IFlashPlayerControlBase> FindControl(uint32_t id);
  bool RequestFromControl(IFlashPlayerControlBase& control, const std::wstring& relativePath,
                          const TComPtr<IStream>& streamSide);
  bool RequestFromGlobalHandler(const std::wstring& url, const TComPtr<IStream>& streamSide);
  HANDLE OpenMemoryFile(const std::wstring& path);
  void AddFakeHandle(TWin32Handle handle, std::unique_ptr<TStream> stream,
                     TComPtr<IFlashPlayerControlBase> control);

  // Guards the folder ids, the waiting providers, the controls and the
  // handler slot: movies are registered on the controls' thread while the
  // runtime binds and opens files on threads of its own. Never held while
  // calling out.
  TCriticalSection listsLock_;
  int32_t nextId_ = 1;
  std::vector<TURLContentProviderPair> providers_;
  std::vector<TFlashPlayerControlIdPair> controls_;
  TGlobalOnLoadExternalResourceEx globalHandler_;
  // Calls of the handler under way on other threads.
  TCallsInFlight globalCalls_;

  // Guards the fake handles; never held while an event is raised.
  TCriticalSection lock_;
  std::vector<TFakeHandleStreamPair> fakeHandles_;
};

}  // namespace leafbook
