// The content manager: in-memory folders, request routing and fake handles.
#include "content/ContentManager.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "content/MemoryPath.h"
#include "content/Moniker.h"
#include "content/StreamAdapters.h"
#include "content/UrlMon.h"
#include "framework/base/AnsiText.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/Exceptions.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

namespace {

using TCreateFileW = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                     HANDLE);

// Looked up afresh on every open, by name in kernel32, so that it is always
// the system's function and never one a loaded module had replaced.
TCreateFileW SystemCreateFileW() {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (!kernel) {
    return nullptr;
  }
  return reinterpret_cast<TCreateFileW>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "CreateFileW")));
}

std::wstring CurrentDirectory() {
  DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  if (length == 0) {
    return {};
  }
  std::wstring folder(length, L'\0');
  length = ::GetCurrentDirectoryW(length, folder.data());
  folder.resize(length < folder.size() ? length : 0);
  return folder;
}

// The folder a control's relative requests resolve against on disk: its Base,
// or the current folder when that is empty.
std::wstring BaseFolder(IFlashPlayerControlBase& control) {
  BSTR base = nullptr;
  control.GetBase(&base);
  std::wstring folder = base ? std::wstring(base, ::SysStringLen(base)) : std::wstring();
  ::SysFreeString(base);
  return folder.empty() ? CurrentDirectory() : folder;
}

// Binds url through the system's own URL moniker, into the same bind context
// and so to the same callbacks. An asynchronous start counts as served: the
// system's binding goes on telling the runtime, which must not also hear
// "no storage".
bool BindThroughSystem(const std::wstring& url, IBindCtx* bindContext, IMoniker* left, REFIID iid,
                       void** object) {
  const auto create = UrlMon().CreateURLMoniker;
  if (!create) {
    return false;
  }
  TComPtr<IMoniker> moniker;
  if (create(nullptr, url.c_str(), moniker.Put()) != S_OK || !moniker) {
    return false;
  }
  const HRESULT result = moniker->BindToStorage(bindContext, left, iid, object);
  if (result == S_OK) {
    // A synchronous bind has delivered its data through the callbacks
    // already. The runtime is told MK_S_ASYNCHRONOUS, with which a COM caller
    // takes no object: the one the system handed out would leak.
    if (object && *object) {
      static_cast<IUnknown*>(*object)->Release();
      *object = nullptr;
    }
    return true;
  }
  return result == MK_S_ASYNCHRONOUS;
}

// Drops a reference to a provider's stream side on the main thread: the last
// one ends the data, which calls the runtime's callback. Refused (the main
// thread waits for this thread), it goes there later.
void ReleaseOnMainThread(TComPtr<IStream> streamSide) {
  if (!streamSide || IsMainThread() || !HasMainThread()) {
    return;
  }
  try {
    Synchronize([&] { streamSide.Reset(); });
  } catch (const ESynchronizeRefused&) {
    std::shared_ptr<TComPtr<IStream>> later =
        std::make_shared<TComPtr<IStream>>(std::move(streamSide));
    QueueOnMainThread([later] { later->Reset(); });
  }
}

}  // namespace

bool SameUrl(const std::wstring& registered, const std::wstring& requested) {
  uint32_t registeredId = 0;
  uint32_t requestedId = 0;
  std::wstring registeredPath;
  std::wstring requestedPath;
  const bool registeredParses = ParseMemoryPath(registered, registeredId, registeredPath);
  const bool requestedParses = ParseMemoryPath(requested, requestedId, requestedPath);
  if (registeredParses != requestedParses) {
    return false;
  }
  if (registeredParses) {
    return registeredId == requestedId &&
           ::lstrcmpW(registeredPath.c_str(), requestedPath.c_str()) == 0;
  }
  return ::lstrcmpW(registered.c_str(), requested.c_str()) == 0;
}

TContentManager::~TContentManager() = default;

// --- movies in memory

std::wstring TContentManager::NewMemoryPath() {
  TLockGuard guard(listsLock_);
  return FormatMemoryPath(nextId_++);
}

void TContentManager::RegisterControl(uint32_t id, IFlashPlayerControlBase* control) {
  TLockGuard guard(listsLock_);
  controls_.push_back({id, control});
}

TComPtr<IFlashPlayerControlBase> TContentManager::FindControl(uint32_t id) {
  TLockGuard guard(listsLock_);
  for (const TFlashPlayerControlIdPair& entry : controls_) {
    if (entry.id == id) {
      return entry.control;
    }
  }
  return nullptr;
}

void TContentManager::UnregisterControl(IFlashPlayerControlBase* control) {
  // The references go after the locks are left: the last one may free the
  // control's interface, which must not run under a lock of ours.
  std::vector<TComPtr<IFlashPlayerControlBase>> released;
  {
    TLockGuard guard(listsLock_);
    for (TFlashPlayerControlIdPair& entry : controls_) {
      if (entry.control.Get() == control) {
        released.push_back(std::move(entry.control));
      }
    }
    std::erase_if(controls_, [](const TFlashPlayerControlIdPair& entry) { return !entry.control; });
  }
  TLockGuard guard(lock_);
  for (TFakeHandleStreamPair& entry : fakeHandles_) {
    if (entry.control.Get() == control) {
      released.push_back(std::move(entry.control));
    }
  }
}

TComPtr<IContentProvider> TContentManager::TakeProvider(const std::wstring& url) {
  TLockGuard guard(listsLock_);
  for (auto entry = providers_.begin(); entry != providers_.end(); ++entry) {
    if (SameUrl(entry->url, url)) {
      TComPtr<IContentProvider> provider = std::move(entry->provider);
      providers_.erase(entry);
      return provider;
    }
  }
  return nullptr;
}

std::unique_ptr<TStream> TContentManager::CreateMovieStream(IFlashPlayerControlBase* control,
                                                            bool intoLayer, int32_t layer) {
  if (!control) {
    throw Exception("CreateMovieStream: no control");
  }
  TComPtr<IStream> streamSide;
  TComPtr<IContentProvider> provider = TContentProvider::Create(streamSide);
  std::unique_ptr<TStream> writer = NewWriter(std::move(streamSide));
  const std::wstring path = NewMemoryPath();
  uint32_t id = 0;
  std::wstring relativePath;
  ParseMemoryPath(path, id, relativePath);
  {
    TLockGuard guard(listsLock_);
    providers_.push_back({path, provider});
  }
  // Both are registered before the control hears of the path: a runtime that
  // opens it while loading already finds them.
  RegisterControl(id, control);
  const std::wstring placeholder(kPlaceholderUrl);
  if (intoLayer) {
    control->LoadMovie(layer, placeholder.c_str());
    control->LoadMovie(layer, path.c_str());
  } else {
    control->PutMovie(placeholder.c_str());
    control->PutMovie(path.c_str());
  }
  return writer;
}

void TContentManager::LoadMovieFromStream(IFlashPlayerControlBase* control, bool intoLayer,
                                          TStream& stream, int32_t layer) {
  std::unique_ptr<TStream> writer = CreateMovieStream(control, intoLayer, layer);
  TMemoryStream copy;
  stream.SetPosition(0);
  char buffer[64 * 1024];
  for (int32_t got; (got = stream.Read(buffer, sizeof buffer)) > 0;) {
    copy.WriteBuffer(buffer, got);
  }
  if (copy.Size() > INT32_MAX) {
    throw EWriteError("LoadMovieFromStream: the movie is too large");
  }
  if (copy.Size() > 0) {
    writer->WriteBuffer(copy.Memory(), static_cast<int32_t>(copy.Size()));
  }
  writer.reset();  // ends the movie's data
}

// --- monikers

HRESULT TContentManager::CreateMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
  if (!moniker) {
    return E_POINTER;
  }
  *moniker = nullptr;
  return Boundary("TContentManager::CreateMoniker", E_OUTOFMEMORY, [&] {
    *moniker = TMyMoniker::Create(*this, context, url).Detach();
    return S_OK;
  });
}

bool TContentManager::RequestFromControl(IFlashPlayerControlBase& control,
                                         const std::wstring& relativePath,
                                         const TComPtr<IStream>& streamSide) {
  const std::wstring path =
      !relativePath.empty() && relativePath[0] == L'/' ? relativePath.substr(1) : relativePath;
  std::unique_ptr<TStream> writer = NewWriter(streamSide);
  BOOL handled = FALSE;
  control.FireLoadExternalResourceEx(path.c_str(), writer.get(), &handled);
  if (handled) {
    // The handler owns the writer now and frees it when it has written everything.
    TStream* claimed = writer.release();
    (void)claimed;
    return true;
  }
  TMemoryStream supply;
  control.FireLoadExternalResource(path.c_str(), &supply);
  const bool supplied = supply.Size() > 0;
  if (supplied && supply.Size() <= INT32_MAX) {
    // A short write means the runtime refused the data; there is nobody to
    // tell but the runtime itself, which knows.
    writer->Write(supply.Memory(), static_cast<int32_t>(supply.Size()));
  }
  writer.reset();
  return supplied;
}

bool TContentManager::RequestFromGlobalHandler(const std::wstring& url,
                                               const TComPtr<IStream>& streamSide) {
  TGlobalOnLoadExternalResourceEx handler;
  std::optional<TCallsInFlight::TCall> counted;
  {
    TLockGuard guard(listsLock_);
    handler = globalHandler_;
    if (!handler) {
      return false;
    }
    counted.emplace(globalCalls_);
  }
  std::unique_ptr<TStream> writer = NewWriter(streamSide);
  bool handled = false;
  handler(url, writer, handled);
  return handled;
}

HRESULT TContentManager::BindResource(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                      IMoniker* /*context*/, IBindStatusCallback* callback,
                                      const std::wstring& url, void** object) {
  // The context moniker plays no part: the url is the text the runtime gave,
  // not resolved, so a relative url arrives as it stands and, having no
  // marker, counts as outside the in-memory folders.
  if (object) {
    *object = nullptr;
  }
  return Boundary("TContentManager::BindResource", E_FAIL, [&]() -> HRESULT {
    if (TComPtr<IContentProvider> waiting = TakeProvider(url)) {
      waiting->SetBindStatusCallback(callback);
      return MK_S_ASYNCHRONOUS;
    }
    // The callback goes in before anyone can write. The provider and its
    // stream side are released on return; when no handler kept a writer,
    // that ends the data, so a request served at once has delivered
    // everything, stop included, before the runtime hears the result.
    TComPtr<IStream> streamSide;
    TComPtr<TContentProvider> provider = TContentProvider::Create(streamSide);
    provider->SetBindStatusCallback(callback);

    bool handled = false;
    uint32_t id = 0;
    std::wstring relativePath;
    if (ParseMemoryPath(url, id, relativePath)) {
      const TComPtr<IFlashPlayerControlBase> control = FindControl(id);
      if (!control) {
        return E_FAIL;
      }
      handled = RequestFromControl(*control.Get(), relativePath, streamSide);
      if (handled) {
        provider->CompleteWhenEmpty();  // answered, even if with nothing
      }
      if (!handled && provider->HasData() == S_OK) {
        handled = true;  // a handler wrote without claiming the request
      }
      if (!handled) {
        handled = BindThroughSystem(BaseFolder(*control.Get()) + L"/" + relativePath, bindContext,
                                    left, iid, object);
      }
    } else {
      handled = RequestFromGlobalHandler(url, streamSide);
      if (handled) {
        provider->CompleteWhenEmpty();
      } else if (provider->HasData() == S_OK) {
        // Bytes went to the runtime but the handler did not serve the file:
        // they are not all of it, and the runtime must not take them for
        // the whole. Its binding ends failed; nobody else can answer it now.
        provider->FailWhenFinished();
        handled = true;
      }
      if (!handled) {
        handled = BindThroughSystem(url, bindContext, left, iid, object);
      }
    }
    // The last reference to the stream side ends the data, which reaches the
    // runtime's callback: on the main thread, before the runtime hears the result.
    ReleaseOnMainThread(std::move(streamSide));
    return handled ? MK_S_ASYNCHRONOUS : MK_E_NOSTORAGE;
  });
}

void TContentManager::SetGlobalOnLoadExternalResourceEx(TGlobalOnLoadExternalResourceEx handler) {
  bool replaced = false;
  {
    TLockGuard guard(listsLock_);
    replaced = static_cast<bool>(globalHandler_);
    globalHandler_ = std::move(handler);
  }
  if (replaced && IsMainThread()) {
    globalCalls_.WaitUntilNone();
  }
}

// --- files

HANDLE TContentManager::OpenFileA(LPCSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
  if (!path) {
    return OpenFileW(nullptr, access, share, security, disposition, flags, templateFile);
  }
  const std::wstring wide = AnsiToWide(path);
  return OpenFileW(wide.c_str(), access, share, security, disposition, flags, templateFile);
}

HANDLE TContentManager::OpenFileW(LPCWSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
  try {
    const std::wstring text = path ? path : L"";
    HANDLE handle = OpenMemoryFile(text);
    if (handle != INVALID_HANDLE_VALUE) {
      return handle;
    }
    const TCreateFileW create = SystemCreateFileW();
    if (!create) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    uint32_t id = 0;
    std::wstring relativePath;
    if (ParseMemoryPath(text, id, relativePath)) {
      if (const TComPtr<IFlashPlayerControlBase> control = FindControl(id)) {
        std::wstring file = BaseFolder(*control.Get()) + L"\\" + relativePath;
        std::replace(file.begin(), file.end(), L'/', L'\\');
        handle = create(file.c_str(), access, share, security, disposition, flags, templateFile);
      }
    }
    if (handle == INVALID_HANDLE_VALUE) {
      handle = create(path, access, share, security, disposition, flags, templateFile);
    }
    return handle;
  } catch (...) {
    // An open that raised reads as a failed open, with an error code of its
    // own (set after the trace line, whose writing may change it).
    ResultOfCaughtException("TContentManager::OpenFileW");
    ::SetLastError(ERROR_OPEN_FAILED);
    return INVALID_HANDLE_VALUE;
  }
}

HANDLE TContentManager::OpenMemoryFile(const std::wstring& path) {
  // Access, sharing and disposition play no part: a memory file is read as
  // the stream stands.
  uint32_t id = 0;
  std::wstring relativePath;
  if (!ParseMemoryPath(path, id, relativePath)) {
    return INVALID_HANDLE_VALUE;
  }
  TComPtr<IFlashPlayerControlBase> control = FindControl(id);
  if (!control) {
    return INVALID_HANDLE_VALUE;
  }
  TStream* supplied = nullptr;
  control->FireLoadExternalResourceAsync(relativePath.c_str(), &supplied);
  std::unique_ptr<TStream> stream(supplied);  // ours from here on
  if (!stream) {
    return INVALID_HANDLE_VALUE;
  }
  stream->SetPosition(0);
  // An event nobody waits on: a real handle of the process, so no other open
  // object can have the same value.
  TWin32Handle event(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!event) {
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE handle = event.Get();
  AddFakeHandle(std::move(event), std::move(stream), std::move(control));
  return handle;
}

void TContentManager::AddFakeHandle(TWin32Handle handle, std::unique_ptr<TStream> stream,
                                    TComPtr<IFlashPlayerControlBase> control) {
  TLockGuard guard(lock_);
  fakeHandles_.push_back({std::move(handle), std::move(stream), std::move(control)});
}

TStream* TContentManager::FindFakeHandleStream(HANDLE handle) {
  TLockGuard guard(lock_);
  for (const TFakeHandleStreamPair& entry : fakeHandles_) {
    if (entry.handle.Get() == handle) {
      return entry.stream.get();
    }
  }
  return nullptr;
}

bool TContentManager::ReleaseFakeHandle(HANDLE handle) {
  TFakeHandleStreamPair released;
  {
    TLockGuard guard(lock_);
    auto entry =
        std::find_if(fakeHandles_.begin(), fakeHandles_.end(),
                     [handle](const TFakeHandleStreamPair& e) { return e.handle.Get() == handle; });
    if (entry == fakeHandles_.end()) {
      return false;
    }
    released = std::move(*entry);
    fakeHandles_.erase(entry);
  }
  // The host sees the stream before it goes, without our lock held: a
  // handler may wait for a thread that opens or closes files meanwhile.
  // Then the handle, then the stream; the handle is closed all the same when
  // the event raises. A control that unregistered hears nothing.
  if (released.control) {
    Boundary("OnUnloadExternalResourceAsync",
             [&] { released.control->FireUnloadExternalResourceAsync(released.stream.get()); });
  }
  released.handle.Reset();
  released.stream.reset();
  return true;
}

}  // namespace leafbook
