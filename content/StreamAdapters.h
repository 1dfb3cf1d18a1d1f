// Bridges between the program's TStream and COM's IStream for the writers a
// host receives: TStreamBasedOnIStream presents an IStream as a TStream, and
// TSynchronizedStreamWrapper carries every call on a TStream to the main
// thread, so that a handler may write from any thread while every call into
// a content provider (and from there into the runtime) happens on the main
// thread.
#pragma once

#include <objidl.h>

#include <memory>

#include "framework/base/ComPtr.h"
#include "framework/base/Streams.h"

namespace leafbook {

class TStreamBasedOnIStream : public TStream {
 public:
  explicit TStreamBasedOnIStream(TComPtr<IStream> stream) : stream_(std::move(stream)) {}

  // The byte counts the IStream reports; 0 when it fails without reporting.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Raises EStreamError when the IStream cannot seek (a provider's stream side).
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;

 private:
  TComPtr<IStream> stream_;
};

// Runs each operation of a stream on the main thread and hands back its
// result (or its exception). One caller serves one thread at a time.
class TSynchronizedStreamCaller {
 public:
  explicit TSynchronizedStreamCaller(std::unique_ptr<TStream> stream)
      : stream_(std::move(stream)) {}
  ~TSynchronizedStreamCaller();

  // Frees the stream on the main thread.
  void FreeStream();
  void SetSize(int64_t size);
  int64_t GetSize();
  int32_t Read(void* buffer, int32_t count);
  int32_t Write(const void* buffer, int32_t count);
  int64_t Seek(int64_t offset, TSeekOrigin origin);

 private:
  std::unique_ptr<TStream> stream_;
};

class TSynchronizedStreamWrapper : public TStream {
 public:
  explicit TSynchronizedStreamWrapper(std::unique_ptr<TStream> stream)
      : caller_(std::move(stream)) {}
  // Frees the wrapped stream on the main thread: for a writer, this ends the data.
  ~TSynchronizedStreamWrapper() override;

  int32_t Read(void* buffer, int32_t count) override { return caller_.Read(buffer, count); }
  int32_t Write(const void* buffer, int32_t count) override { return caller_.Write(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return caller_.Seek(offset, origin); }
  int64_t GetSize() override { return caller_.GetSize(); }
  void SetSize(int64_t size) override { caller_.SetSize(size); }

 private:
  TSynchronizedStreamCaller caller_;
};

// A writer for a provider's stream side, as handlers receive it.
std::unique_ptr<TStream> NewWriter(TComPtr<IStream> streamSide);

}  // namespace leafbook
