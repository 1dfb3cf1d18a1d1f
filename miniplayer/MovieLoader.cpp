// Both routes of fetching a URL. The bind status callback answers
// IHttpNegotiate, takes each piece of data from the stream it is handed (a new
// stream per piece, or one growing stream: it reads whatever is there) and
// reports the whole once the binding stops.
#include "miniplayer/MovieLoader.h"

#include <urlmon.h>

#include "framework/base/AnsiText.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Handle.h"
#include "miniplayer/SwfMovie.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

using TGetFileSizeEx = BOOL(WINAPI*)(HANDLE, PLARGE_INTEGER);

class TBindCallback final
    : public TComObject<TBindCallback, TInterface<IBindStatusCallback, &IID_IBindStatusCallback>,
                        TInterface<IHttpNegotiate, &IID_IHttpNegotiate>> {
 public:
  TBindCallback(std::wstring url, int request, std::shared_ptr<TLoadLink> link,
                std::shared_ptr<TWin32Handle> finished)
      : url_(std::move(url)),
        request_(request),
        link_(std::move(link)),
        finished_(std::move(finished)) {}

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    return ComBoundary("IBindStatusCallback::OnStartBinding", [&]() -> HRESULT {
      binding_ = TComPtr<IBinding>(binding);
      Trace(L"bind started " + url_);
      return S_OK;
    });
  }
  STDMETHODIMP GetPriority(LONG* priority) override {
    return ComBoundary("IBindStatusCallback::GetPriority", [&]() -> HRESULT {
      if (priority == nullptr) {
        return E_POINTER;
      }
      *priority = THREAD_PRIORITY_NORMAL;
      return S_OK;
    });
  }
  STDMETHODIMP OnLowResource(DWORD) override {
    return ComBoundary("IBindStatusCallback::OnLowResource", [&]() -> HRESULT { return S_OK; });
  }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override {
    return ComBoundary("IBindStatusCallback::OnProgress", [&]() -> HRESULT { return S_OK; });
  }
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
    return ComBoundary("IBindStatusCallback::OnStopBinding", [&]() -> HRESULT {
      binding_.Reset();
      if (FAILED(result)) {
        Fail(L"binding stopped with 0x" + Hex(result));
      } else {
        Finish();
      }
      return S_OK;
    });
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    return ComBoundary("IBindStatusCallback::GetBindInfo", [&]() -> HRESULT {
      if (flags == nullptr || info == nullptr) {
        return E_POINTER;
      }
      *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION;
      const ULONG size = info->cbSize;
      ZeroMemory(info, size);
      info->cbSize = size;
      info->dwBindVerb = BINDVERB_GET;
      return S_OK;
    });
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
    return ComBoundary("IBindStatusCallback::OnDataAvailable", [&]() -> HRESULT {
      if (done_ || medium == nullptr || medium->tymed != TYMED_ISTREAM || medium->pstm == nullptr) {
        return S_OK;
      }
      char buffer[65536];
      for (;;) {
        ULONG got = 0;
        const HRESULT hr = medium->pstm->Read(buffer, sizeof buffer, &got);
        if (got > 0) {
          if (bytes_.size() + got > kMaxMovieSize) {
            if (binding_) {
              binding_->Abort();
            }
            Fail(L"larger than the runtime takes");
            return S_OK;
          }
          bytes_.append(buffer, got);
        }
        if (hr != S_OK || got == 0) {
          break;
        }
      }
      Trace(L"received " + std::to_wstring(bytes_.size()) + L" bytes so far " + url_);
      link_->Progress(request_, bytes_.size(), declared_);
      return S_OK;
    });
  }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override {
    return ComBoundary("IBindStatusCallback::OnObjectAvailable", [&]() -> HRESULT { return S_OK; });
  }

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
    return ComBoundary("IHttpNegotiate::BeginningTransaction", [&]() -> HRESULT {
      if (additional != nullptr) {
        *additional = nullptr;
      }
      return S_OK;
    });
  }
  STDMETHODIMP OnResponse(DWORD code, LPCWSTR headers, LPCWSTR, LPWSTR* additional) override {
    return ComBoundary("IHttpNegotiate::OnResponse", [&]() -> HRESULT {
      if (additional != nullptr) {
        *additional = nullptr;
      }
      Trace(L"response " + std::to_wstring(code) + L" " + url_);
      if (code >= 400) {
        failedStatus_ = code;
      }
      if (headers != nullptr) {
        const std::wstring text = headers;
        const size_t at = text.find(L"Content-Length:");
        if (at != std::wstring::npos) {
          const long long length = _wtoi64(text.c_str() + at + 15);
          declared_ = length > 0 ? static_cast<uint64_t>(length) : 0;
        }
      }
      return S_OK;
    });
  }

  // A stream handed back at once by BindToStorage is read here.
  void TakeSynchronousStream(IStream* stream) {
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream;
    OnDataAvailable(BSCF_LASTDATANOTIFICATION, 0, nullptr, &medium);
    Finish();
  }
  void Fail(const std::wstring& why) {
    if (done_) {
      return;
    }
    done_ = true;
    link_->Failed(request_, why);
    Finished();
  }

  static std::wstring Hex(HRESULT value) {
    wchar_t text[16];
    swprintf(text, 16, L"%08lX", static_cast<unsigned long>(value));
    return text;
  }

 private:
  void Finish() {
    if (done_) {
      return;
    }
    if (failedStatus_ != 0) {
      Fail(L"status " + std::to_wstring(failedStatus_));
      return;
    }
    done_ = true;
    link_->Done(request_, std::move(bytes_));
    Finished();
  }
  void Finished() {
    if (finished_) {
      SetEvent(finished_->Get());
    }
  }

  std::wstring url_;
  int request_;
  std::shared_ptr<TLoadLink> link_;
  std::shared_ptr<TWin32Handle> finished_;
  TComPtr<IBinding> binding_;
  std::string bytes_;
  uint64_t declared_ = 0;
  DWORD failedStatus_ = 0;
  bool done_ = false;
};

}  // namespace

void TLoadLink::Cut() {
  TLockGuard guard(lock_);
  client_ = nullptr;
}

void TLoadLink::Progress(int request, uint64_t received, uint64_t total) {
  TLockGuard guard(lock_);
  if (client_ != nullptr) {
    client_->LoadProgress(request, received, total);
  }
}

void TLoadLink::Done(int request, std::string bytes) {
  TLockGuard guard(lock_);
  if (client_ != nullptr) {
    client_->LoadDone(request, std::move(bytes));
  }
}

void TLoadLink::Failed(int request, const std::wstring& why) {
  TLockGuard guard(lock_);
  if (client_ != nullptr) {
    client_->LoadFailed(request, why);
  }
}

bool ReadByFileFunctions(const std::wstring& path, bool ansiName, std::string& bytes,
                         std::wstring& why) {
  TWin32FileHandle file;
  if (ansiName) {
    const std::string name = WideToAnsi(path);
    file.Reset(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  } else {
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file) {
    why = L"cannot open, error " + std::to_wstring(GetLastError());
    return false;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(file.Get(), &high);
  // The 64-bit size call is looked up at run time: older systems lack it.
  if (auto sizeEx = reinterpret_cast<TGetFileSizeEx>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFileSizeEx")))) {
    LARGE_INTEGER size{};
    if (sizeEx(file.Get(), &size) && size.HighPart != 0) {
      high = static_cast<DWORD>(size.HighPart);
    }
  }
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 ||
      low > kMaxMovieSize) {
    why = L"size unusable";
    return false;
  }
  if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    why = L"cannot seek";
    return false;
  }
  bytes.clear();
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      why = L"read failed, error " + std::to_wstring(GetLastError());
      return false;
    }
    if (got == 0) {
      break;
    }
    if (bytes.size() + got > kMaxMovieSize) {
      why = L"larger than the runtime takes";
      return false;
    }
    bytes.append(buffer, got);
  }
  // Where the reads ended must be where the bytes end.
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(file.Get(), zero, &position, FILE_CURRENT) ||
      static_cast<uint64_t>(position.QuadPart) != bytes.size()) {
    why = L"the file position disagrees with the bytes read";
    return false;
  }
  return true;
}

bool StartMonikerLoad(const std::wstring& url, int request, std::shared_ptr<TLoadLink> link,
                      std::shared_ptr<TWin32Handle> finished) {
  TComPtr<IMoniker> moniker;
  HRESULT hr = CreateURLMoniker(nullptr, url.c_str(), moniker.Put());
  if (FAILED(hr) || !moniker) {
    Trace(L"no moniker for " + url);
    return false;
  }
  TComPtr<TBindCallback> callback(
      NewComObject<TBindCallback>(url, request, std::move(link), std::move(finished)));
  TComPtr<IBindCtx> context;
  hr = CreateAsyncBindCtx(0, callback.Get(), nullptr, context.Put());
  if (FAILED(hr) || !context) {
    Trace(L"no bind context for " + url);
    return false;
  }
  TComPtr<IStream> stream;
  hr = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, stream.PutVoid());
  Trace(L"bind result 0x" + TBindCallback::Hex(hr) + L" " + url);
  if (hr == S_OK && stream) {
    callback->TakeSynchronousStream(stream.Get());
  } else if (FAILED(hr)) {
    callback->Fail(L"cannot bind");
  }
  return true;
}

}  // namespace leafbook::miniplayer
