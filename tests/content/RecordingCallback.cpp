// Recording bind status callback for the content tests.
#include "tests/content/RecordingCallback.h"

#include <cstdio>

namespace leafbook::testing {

namespace {

std::string Narrow(LPCWSTR text) {
  std::string result;
  for (; text && *text; ++text) {
    if (*text == L'\r') {
      result += "\\r";
    } else if (*text == L'\n') {
      result += "\\n";
    } else {
      result += static_cast<char>(*text);
    }
  }
  return result;
}

std::string Hex(HRESULT value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

TComPtr<TRecordingCallback> TRecordingCallback::Create(bool negotiate, HRESULT dataResult) {
  return TComPtr<TRecordingCallback>(NewComObject<TRecordingCallback>(negotiate, dataResult));
}

void TRecordingCallback::Record(const std::string& event) {
  TLockGuard guard(lock_);
  events_.push_back(event);
  threads_.push_back(::GetCurrentThreadId());
}

std::vector<std::string> TRecordingCallback::Events() {
  TLockGuard guard(lock_);
  return events_;
}

size_t TRecordingCallback::EventCount() {
  TLockGuard guard(lock_);
  return events_.size();
}

std::vector<DWORD> TRecordingCallback::Threads() {
  TLockGuard guard(lock_);
  return threads_;
}

HRESULT TRecordingCallback::QueryInterface(REFIID iid, void** object) {
  void* found = iid == IID_IHttpNegotiate && !negotiate_ ? nullptr : Find(iid);
  *object = found;
  if (!found) {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT TRecordingCallback::OnStartBinding(DWORD reserved, IBinding* binding) {
  Record(reserved == 0 && !binding ? "start" : "start with arguments");
  return S_OK;
}

HRESULT TRecordingCallback::GetPriority(LONG*) {
  return E_NOTIMPL;
}
HRESULT TRecordingCallback::OnLowResource(DWORD) {
  return S_OK;
}
HRESULT TRecordingCallback::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) {
  return S_OK;
}

HRESULT TRecordingCallback::OnStopBinding(HRESULT result, LPCWSTR error) {
  Record("stop " + Hex(result) + (error ? " with text" : ""));
  return S_OK;
}

HRESULT TRecordingCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
  if (!flags || !info) {
    return E_INVALIDARG;
  }
  *flags = bindFlags_;
  const ULONG size = info->cbSize;
  ::ZeroMemory(info, size);
  info->cbSize = size;
  return S_OK;
}

HRESULT TRecordingCallback::OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                            STGMEDIUM* medium) {
  std::string bytes;
  bool wellFormed = format && format->cfFormat == 0 && !format->ptd &&
                    format->dwAspect == DVASPECT_CONTENT && format->lindex == -1 &&
                    format->tymed == TYMED_ISTREAM && medium && medium->tymed == TYMED_ISTREAM &&
                    medium->pstm && !medium->pUnkForRelease;
  if (medium && medium->tymed == TYMED_ISTREAM && medium->pstm) {
    char chunk[4096];
    ULONG got = 0;
    while (SUCCEEDED(medium->pstm->Read(chunk, sizeof chunk, &got)) && got > 0) {
      bytes.append(chunk, got);
    }
  }
  Record("data " + std::to_string(flags) + " " + std::to_string(size) + " " + bytes +
         (wellFormed ? "" : " (malformed)"));
  return dataResult_;
}

HRESULT TRecordingCallback::OnObjectAvailable(REFIID, IUnknown*) {
  return S_OK;
}

HRESULT TRecordingCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) {
  if (additional) {
    *additional = nullptr;
  }
  return S_OK;
}

HRESULT TRecordingCallback::OnResponse(DWORD code, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                                       LPWSTR* additional) {
  Record("response " + std::to_string(code) + " " + Narrow(responseHeaders) +
         (requestHeaders ? " (request headers)" : ""));
  // Something for the provider to free.
  if (additional) {
    *additional = static_cast<LPWSTR>(::CoTaskMemAlloc(2 * sizeof(wchar_t)));
    (*additional)[0] = L'x';
    (*additional)[1] = 0;
  }
  return S_OK;
}

}  // namespace leafbook::testing
