// The one stream abstraction of the program: every piece of content passes as
// a seekable byte stream. TMemoryStream owns its buffer; TFileStream owns its
// file handle; TStringStream is a memory stream read back as a string.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/Platform.h"

namespace leafbook {

class TStream {
 public:
  virtual ~TStream() = default;

  // Move up to count bytes; give the number moved (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Gives the new position from the beginning.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t GetSize();
  virtual void SetSize(int64_t size);

  int64_t GetPosition() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

  // Exactly count bytes or EReadError / EWriteError.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source's position to this stream's position
  // through a buffer of at most bufferSize bytes; EReadError if source ends early.
  int64_t CopyFrom(TStream& source, int64_t count, int32_t bufferSize = 1 << 20);

 protected:
  // The position a seek of a stream that is position and size in memory
  // arrives at; EStreamError("Seek before the start of <what>") before 0.
  static int64_t SeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size,
                            const char* what);
};

class TMemoryStream : public TStream {
 public:
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return size_; }
  void SetSize(int64_t size) override;

  int64_t Size() const { return size_; }
  // Room for count bytes at the position, for a producer that fills them in
  // place (a file read): the size grows to cover them; bytes beyond the old
  // size hold nothing defined until written. The position does not move.
  uint8_t* Room(int64_t count);
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  void Clear();

 private:
  void Reserve(int64_t capacity);

  // Growing leaves new bytes as they come: every byte is written or zeroed
  // before it becomes content.
  template <class T>
  struct TUninitialized : std::allocator<T> {
    template <class U>
    struct rebind {
      using other = TUninitialized<U>;
    };
    template <class U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };
  std::vector<uint8_t, TUninitialized<uint8_t>> data_;  // capacity; size_ bytes are content
  int64_t size_ = 0;
  int64_t position_ = 0;
};

class TStringStream : public TMemoryStream {
 public:
  TStringStream() = default;
  explicit TStringStream(const std::string& text);
  std::string DataString() const;
};

// A stream over an open file handle, which it owns and closes.
class THandleStream : public TStream {
 public:
  explicit THandleStream(platform::TFileHandle handle);
  const platform::TFileHandle& Handle() const { return handle_; }
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;

 protected:
  platform::TFileHandle handle_;
};

// A file opened by name, always with full sharing. Raises EFOpenError when the
// file cannot be opened.
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& fileName, platform::TFileMode mode);
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

}  // namespace leafbook
