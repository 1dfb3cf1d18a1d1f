// Stream family shared by the viewer and the packer.
#include "framework/base/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/base/Exceptions.h"

namespace leafbook {

int64_t TStream::GetSize() {
  int64_t position = Seek(0, TSeekOrigin::Current);
  int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int32_t done = Read(out, count);
    if (done <= 0) {
      throw EReadError("Stream read error");
    }
    out += done;
    count -= done;
  }
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    int32_t done = Write(in, count);
    if (done <= 0) {
      throw EWriteError("Stream write error");
    }
    in += done;
    count -= done;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count, int32_t bufferSize) {
  if (count <= 0) {
    return 0;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, bufferSize)));
  for (int64_t left = count; left > 0;) {
    auto piece = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
    source.ReadBuffer(buffer.data(), piece);
    WriteBuffer(buffer.data(), piece);
    left -= piece;
  }
  return count;
}

// --- TMemoryStream

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ >= size_) {
    return 0;
  }
  auto done = static_cast<int32_t>(std::min<int64_t>(count, size_ - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(done));
  position_ += done;
  return done;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) {
    return 0;
  }
  int64_t end = position_ + count;
  if (end > size_) {
    Reserve(end);
    if (position_ > size_) {
      // A write past the end fills the gap with zeros.
      std::memset(data_.data() + size_, 0, static_cast<size_t>(position_ - size_));
    }
    size_ = end;
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TStream::SeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size,
                            const char* what) {
  const int64_t base = origin == TSeekOrigin::Beginning ? 0
                       : origin == TSeekOrigin::Current ? position
                                                        : size;
  if (base + offset < 0) {
    throw EStreamError(std::string("Seek before the start of ") + what);
  }
  return base + offset;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, size_, "a memory stream");
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) {
    throw EStreamError("Negative stream size");
  }
  if (size > size_) {
    Reserve(size);
    std::memset(data_.data() + size_, 0, static_cast<size_t>(size - size_));
  }
  size_ = size;
  position_ = std::min(position_, size_);
}

uint8_t* TMemoryStream::Room(int64_t count) {
  if (count < 0) {
    throw EStreamError("Negative stream size");
  }
  const int64_t end = position_ + count;
  if (end > size_) {
    Reserve(end);
    if (position_ > size_) {
      std::memset(data_.data() + size_, 0, static_cast<size_t>(position_ - size_));
    }
    size_ = end;
  }
  return data_.data() + position_;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  size_ = 0;
  position_ = 0;
}

void TMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= static_cast<int64_t>(data_.size())) {
    return;
  }
  if (static_cast<uint64_t>(capacity) > std::numeric_limits<size_t>::max() / 2) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
  // Grow geometrically so that many small writes stay linear overall.
  auto wanted = std::max(static_cast<size_t>(capacity), data_.size() + data_.size() / 2);
  try {
    data_.resize(wanted);
  } catch (const std::bad_alloc&) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
}

// --- TStringStream

TStringStream::TStringStream(const std::string& text) {
  WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
  SetPosition(0);
}

std::string TStringStream::DataString() const {
  return std::string(reinterpret_cast<const char*>(Memory()), static_cast<size_t>(Size()));
}

// --- THandleStream, TFileStream

THandleStream::THandleStream(platform::TFileHandle handle) : handle_(std::move(handle)) {}

int32_t THandleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) {
    return 0;
  }
  int32_t done = platform::ReadFile(handle_, buffer, count);
  if (done < 0) {
    throw EReadError("Stream read error: " + platform::LastErrorText());
  }
  return done;
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) {
    return 0;
  }
  int32_t done = platform::WriteFile(handle_, buffer, count);
  if (done < 0) {
    throw EWriteError("Stream write error: " + platform::LastErrorText());
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t position = platform::SeekFile(handle_, offset, origin);
  if (position < 0) {
    throw EStreamError("Stream seek error: " + platform::LastErrorText());
  }
  return position;
}

void THandleStream::SetSize(int64_t size) {
  int64_t position = GetPosition();
  Seek(size, TSeekOrigin::Beginning);
  if (!platform::SetEndOfFile(handle_)) {
    throw EStreamError("Stream size error: " + platform::LastErrorText());
  }
  Seek(std::min(position, size), TSeekOrigin::Beginning);
}

namespace {
platform::TFileHandle OpenOrRaise(const std::string& fileName, platform::TFileMode mode) {
  platform::TFileHandle handle = platform::OpenFileShared(fileName, mode);
  if (!handle) {
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + platform::LastErrorText());
  }
  return handle;
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, platform::TFileMode mode)
    : THandleStream(OpenOrRaise(fileName, mode)), fileName_(fileName) {}

}  // namespace leafbook
