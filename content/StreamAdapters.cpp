// Stream adapters and main-thread marshalling of stream calls.
#include "content/StreamAdapters.h"

#include "framework/base/Exceptions.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

int32_t TStreamBasedOnIStream::Read(void* buffer, int32_t count) {
  ULONG done = 0;
  stream_->Read(buffer, static_cast<ULONG>(count), &done);
  return static_cast<int32_t>(done);
}

int32_t TStreamBasedOnIStream::Write(const void* buffer, int32_t count) {
  ULONG done = 0;
  stream_->Write(buffer, static_cast<ULONG>(count), &done);
  return static_cast<int32_t>(done);
}

int64_t TStreamBasedOnIStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER position;
  position.QuadPart = 0;
  // The origins have the same values on both sides: beginning 0, current 1, end 2.
  if (FAILED(stream_->Seek(move, static_cast<DWORD>(origin), &position))) {
    throw EStreamError("The stream cannot seek");
  }
  return static_cast<int64_t>(position.QuadPart);
}

void TStreamBasedOnIStream::SetSize(int64_t size) {
  ULARGE_INTEGER newSize;
  newSize.QuadPart = static_cast<ULONGLONG>(size);
  stream_->SetSize(newSize);
}

TSynchronizedStreamCaller::~TSynchronizedStreamCaller() {
  // Not a boundary but an expected case, so no trace line: without a main
  // thread left the stream goes here, on this thread.
  try {
    FreeStream();
  } catch (...) {
  }
}

void TSynchronizedStreamCaller::FreeStream() {
  try {
    Synchronize([this] { stream_.reset(); });
  } catch (const ESynchronizeRefused&) {
    // The main thread waits for this one: the stream (whose end reaches the
    // runtime's callback) goes there later, never here.
    std::shared_ptr<TStream> later(std::move(stream_));
    QueueOnMainThread([later]() mutable { later.reset(); });
  }
}

void TSynchronizedStreamCaller::SetSize(int64_t size) {
  Synchronize([&] { stream_->SetSize(size); });
}

int64_t TSynchronizedStreamCaller::GetSize() {
  int64_t size = 0;
  Synchronize([&] { size = stream_->GetSize(); });
  return size;
}

int32_t TSynchronizedStreamCaller::Read(void* buffer, int32_t count) {
  int32_t done = 0;
  Synchronize([&] { done = stream_->Read(buffer, count); });
  return done;
}

int32_t TSynchronizedStreamCaller::Write(const void* buffer, int32_t count) {
  int32_t done = 0;
  Synchronize([&] { done = stream_->Write(buffer, count); });
  return done;
}

int64_t TSynchronizedStreamCaller::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t position = 0;
  Synchronize([&] { position = stream_->Seek(offset, origin); });
  return position;
}

TSynchronizedStreamWrapper::~TSynchronizedStreamWrapper() = default;

std::unique_ptr<TStream> NewWriter(TComPtr<IStream> streamSide) {
  return std::make_unique<TSynchronizedStreamWrapper>(
      std::make_unique<TStreamBasedOnIStream>(std::move(streamSide)));
}

}  // namespace leafbook
