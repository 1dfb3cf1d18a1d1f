// A content provider turns bytes the host writes into the notifications a URL
// moniker's client expects: an HTTP-style response, start, one data
// notification per piece, and stop once the host says the data is complete.
// Bytes written before the client's callback arrives are held and delivered
// in one piece when it does. Each provider has a write-only stream side
// (TContentProviderStream); releasing it ends the data.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <cstdint>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/CriticalSection.h"

namespace leafbook {

// {58245B0F-C1F8-4D38-B411-F4EBE2A76590}
inline constexpr IID IID_IContentProvider = {
    0x58245B0F, 0xC1F8, 0x4D38, {0xB4, 0x11, 0xF4, 0xEB, 0xE2, 0xA7, 0x65, 0x90}};

struct IContentProvider : public IUnknown {
  // The client to notify. A provider serves one binding: the same callback
  // again changes nothing; another one is refused with E_UNEXPECTED.
  virtual HRESULT STDMETHODCALLTYPE SetBindStatusCallback(IBindStatusCallback* callback) = 0;
  // S_OK once anything (even zero bytes) was written, S_FALSE before.
  virtual HRESULT STDMETHODCALLTYPE HasData() = 0;
  virtual HRESULT STDMETHODCALLTYPE Finish() = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(int64_t size) = 0;
};

class TContentProvider final
    : public TComObject<TContentProvider, TInterface<IContentProvider, &IID_IContentProvider>> {
 public:
  // A new provider and its stream side (returned through streamSide).
  static TComPtr<TContentProvider> Create(TComPtr<IStream>& streamSide);
  TContentProvider();

  // The end of the data with nothing written leaves a movie's load pending;
  // once someone has answered the request, it is an empty file instead,
  // started and stopped all the same (now, if the data has ended already).
  void CompleteWhenEmpty();
  // The bytes written are not the whole file: the end of the data tells the
  // client the binding failed, and what comes after is refused.
  void FailWhenFinished();

  HRESULT STDMETHODCALLTYPE SetBindStatusCallback(IBindStatusCallback* callback) override;
  HRESULT STDMETHODCALLTYPE HasData() override;
  HRESULT STDMETHODCALLTYPE Finish() override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE SetSize(int64_t size) override;

 private:
  void SendResponse();
  void StartBinding();
  // One data notification carrying stream (positioned at 0) of size bytes.
  HRESULT DeliverPiece(IStream* stream, ULONG size);

  TCriticalSection lock_;
  TComPtr<IStream> buffer_;  // data written before a callback exists
  LONG bufferedBytes_ = 0;
  bool started_ = false;
  TComPtr<IBindStatusCallback> callback_;
  bool hasData_ = false;
  bool finished_ = false;
  bool completeWhenEmpty_ = false;
  bool failed_ = false;
  int64_t declaredSize_ = -1;
};

// The provider's stream side: Write and SetSize go to the provider, the rest
// is not supported. Its destruction finishes the provider.
class TContentProviderStream final
    : public TComObject<TContentProviderStream, TInterface<IStream, &IID_IStream>> {
 public:
  explicit TContentProviderStream(TComPtr<IContentProvider> provider);
  ~TContentProviderStream();

  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                       DWORD type) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count,
                                         DWORD type) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

 private:
  TComPtr<IContentProvider> provider_;
};

}  // namespace leafbook
