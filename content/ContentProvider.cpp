// Content provider and its stream side. Every call into the client's callback
// is made under the provider's lock, so that pieces arrive whole and in order
// whatever thread binds.
#include "content/ContentProvider.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "framework/base/ComBoundary.h"

namespace leafbook {

namespace {

constexpr DWORD kPieceFlags = BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION;  // 5

TComPtr<IStream> NewMemoryStream() {
  TComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()))) {
    stream.Reset();
  }
  return stream;
}

void Rewind(IStream* stream) {
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

}  // namespace

TComPtr<TContentProvider> TContentProvider::Create(TComPtr<IStream>& streamSide) {
  TComPtr<TContentProvider> provider(NewComObject<TContentProvider>());
  streamSide = TComPtr<IStream>(NewComObject<TContentProviderStream>(provider));
  return provider;
}

TContentProvider::TContentProvider() : buffer_(NewMemoryStream()) {}

void TContentProvider::CompleteWhenEmpty() {
  Boundary("TContentProvider::CompleteWhenEmpty", [&] {
    TLockGuard guard(lock_);
    completeWhenEmpty_ = true;
    if (!hasData_ && declaredSize_ < 0) {
      declaredSize_ = 0;  // an empty file says so
    }
    if (!hasData_ && finished_ && callback_) {
      StartBinding();
      callback_->OnStopBinding(S_OK, nullptr);
    }
  });
}

void TContentProvider::FailWhenFinished() {
  TLockGuard guard(lock_);
  failed_ = true;
}

void TContentProvider::SendResponse() {
  if (!callback_) {
    return;
  }
  IHttpNegotiate* negotiate = nullptr;
  if (FAILED(callback_->QueryInterface(IID_IHttpNegotiate, reinterpret_cast<void**>(&negotiate))) ||
      !negotiate) {
    return;
  }
  TComPtr<IHttpNegotiate> held = TComPtr<IHttpNegotiate>::Attach(negotiate);
  wchar_t response[96];
  std::swprintf(response, 96, L"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n",
                static_cast<int32_t>(static_cast<uint32_t>(declaredSize_)));
  LPWSTR additional = nullptr;
  held->OnResponse(200, response, nullptr, &additional);
  ::CoTaskMemFree(additional);
}

void TContentProvider::StartBinding() {
  if (started_) {
    return;
  }
  SendResponse();
  callback_->OnStartBinding(0, nullptr);
  started_ = true;
}

HRESULT TContentProvider::DeliverPiece(IStream* stream, ULONG size) {
  FORMATETC format{0, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
  STGMEDIUM medium{};
  medium.tymed = TYMED_ISTREAM;
  medium.pstm = stream;
  medium.pUnkForRelease = nullptr;
  return callback_->OnDataAvailable(kPieceFlags, size, &format, &medium);
}

HRESULT TContentProvider::Write(const void* data, ULONG count, ULONG* written) {
  return ComBoundary("IContentProvider::Write", [&]() -> HRESULT {
    TLockGuard guard(lock_);
    if (failed_) {
      if (written) {
        *written = 0;
      }
      return S_OK;
    }
    hasData_ = true;
    if (callback_) {
      StartBinding();
      TComPtr<IStream> piece = NewMemoryStream();
      if (!piece) {
        if (written) {
          *written = 0;
        }
        return S_OK;
      }
      piece->Write(data, count, written);
      Rewind(piece.Get());
      if (DeliverPiece(piece.Get(), count) != S_OK && written) {
        *written = 0;
      }
    } else if (buffer_) {
      buffer_->Write(data, count, written);
      bufferedBytes_ += static_cast<LONG>(count);
    } else if (written) {
      *written = 0;
    }
    return S_OK;
  });
}

HRESULT TContentProvider::SetBindStatusCallback(IBindStatusCallback* callback) {
  return ComBoundary("IContentProvider::SetBindStatusCallback", [&]() -> HRESULT {
    TLockGuard guard(lock_);
    if (callback_) {
      // One binding per provider: what was buffered went to the first client.
      return callback_.Get() == callback ? S_OK : E_UNEXPECTED;
    }
    callback_ = TComPtr<IBindStatusCallback>(callback);
    if (callback_ && (hasData_ || (finished_ && completeWhenEmpty_))) {
      StartBinding();
      if (buffer_) {
        Rewind(buffer_.Get());
        DeliverPiece(buffer_.Get(), static_cast<ULONG>(bufferedBytes_));
        buffer_.Reset();
      }
      if (finished_) {
        callback_->OnStopBinding(S_OK, nullptr);
      }
    }
    return S_OK;
  });
}

HRESULT TContentProvider::Finish() {
  return ComBoundary("IContentProvider::Finish", [&]() -> HRESULT {
    TLockGuard guard(lock_);
    if (finished_) {
      return S_OK;
    }
    finished_ = true;
    if ((hasData_ || completeWhenEmpty_) && callback_) {
      StartBinding();
      callback_->OnStopBinding(failed_ ? INET_E_DOWNLOAD_FAILURE : S_OK, nullptr);
    }
    return S_OK;
  });
}

HRESULT TContentProvider::HasData() {
  return ComBoundary("IContentProvider::HasData", [&]() -> HRESULT {
    TLockGuard guard(lock_);
    return hasData_ ? S_OK : S_FALSE;
  });
}

HRESULT TContentProvider::SetSize(int64_t size) {
  return ComBoundary("IContentProvider::SetSize", [&]() -> HRESULT {
    declaredSize_ = size;
    SendResponse();
    return S_OK;
  });
}

// --- TContentProviderStream

TContentProviderStream::TContentProviderStream(TComPtr<IContentProvider> provider)
    : provider_(std::move(provider)) {}

TContentProviderStream::~TContentProviderStream() {
  if (provider_) {
    provider_->Finish();
  }
}

HRESULT TContentProviderStream::Read(void*, ULONG, ULONG*) {
  return E_NOTIMPL;
}

HRESULT TContentProviderStream::Write(const void* data, ULONG count, ULONG* written) {
  return provider_->Write(data, count, written);
}

HRESULT TContentProviderStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}

HRESULT TContentProviderStream::SetSize(ULARGE_INTEGER size) {
  return provider_->SetSize(static_cast<int64_t>(size.QuadPart));
}

HRESULT TContentProviderStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}
HRESULT TContentProviderStream::Commit(DWORD) {
  return E_NOTIMPL;
}
HRESULT TContentProviderStream::Revert() {
  return E_NOTIMPL;
}
HRESULT TContentProviderStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return E_NOTIMPL;
}
HRESULT TContentProviderStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return E_NOTIMPL;
}
HRESULT TContentProviderStream::Stat(STATSTG*, DWORD) {
  return E_NOTIMPL;
}

HRESULT TContentProviderStream::Clone(IStream** clone) {
  if (clone) {
    *clone = nullptr;
  }
  return E_NOTIMPL;
}

}  // namespace leafbook
