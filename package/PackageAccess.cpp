// Package access by file name: directory lookup, then an entry read.
#include "package/PackageAccess.h"

#include "framework/base/Platform.h"
#include "package/PackageCache.h"

namespace leafbook {

namespace {

// An entry of an open package as a stream: reads come from the package file,
// which the stream keeps open for as long as it lives.
class TPackageEntryStream final : public TStream {
 public:
  TPackageEntryStream(std::shared_ptr<const TOpenPackage> package, int32_t index)
      : package_(std::move(package)), index_(index), size_(package_->EntrySize(index)) {}

  int32_t Read(void* buffer, int32_t count) override {
    const int32_t got = package_->ReadEntryAt(index_, position_, buffer, count);
    position_ += got;
    return got;
  }
  int32_t Write(const void*, int32_t) override { return 0; }  // read-only: nothing moves
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    position_ = SeekTarget(offset, origin, position_, size_, "a file of the book");
    return position_;
  }
  int64_t GetSize() override { return size_; }
  void SetSize(int64_t) override { throw EStreamError("A file of the book cannot change size"); }

 private:
  std::shared_ptr<const TOpenPackage> package_;
  int32_t index_;
  int64_t size_;
  int64_t position_ = 0;
};

// The package and the index name is listed under (0 when it is not).
std::shared_ptr<const TOpenPackage> Lookup(const std::string& name, const std::string& packageFile,
                                           int32_t& index) {
  std::shared_ptr<const TOpenPackage> package = AcquirePackage(packageFile);
  index = package ? package->Find(name) : 0;
  return package;
}

}  // namespace

TPackageState PackageState(const std::string& packageFile) {
  try {
    if (AcquirePackage(packageFile)) {
      return TPackageState::Intact;
    }
    const std::string path = ResolvePackageFile(packageFile);
    if (!platform::FileExists(path)) {
      return TPackageState::None;
    }
    std::unique_ptr<THandleStream> file = OpenPackageFile(path);
    if (!file) {
      return TPackageState::Damaged;  // a book may be there, but cannot be read
    }
    return BytesAfterImage(*file) > 0 ? TPackageState::Damaged : TPackageState::None;
  } catch (...) {
    return TPackageState::Damaged;
  }
}

int32_t PackageFileIndex(const std::string& name, const std::string& packageFile) {
  try {
    int32_t index = 0;
    Lookup(name, packageFile, index);
    return index;
  } catch (...) {
    return 0;
  }
}

bool PackageReadFile(const std::string& name, TStream& stream, const std::string& packageFile) {
  try {
    int32_t index = 0;
    auto package = Lookup(name, packageFile, index);
    if (index == 0) {
      return false;
    }
    package->ReadEntry(index, stream);
    return true;
  } catch (...) {
    return false;
  }
}

std::unique_ptr<TMemoryStream> PackageFileStream(const std::string& name,
                                                 const std::string& packageFile) {
  try {
    int32_t index = 0;
    auto package = Lookup(name, packageFile, index);
    if (index != 0) {
      auto stream = std::make_unique<TMemoryStream>();
      package->ReadEntry(index, *stream);
      return stream;
    }
  } catch (...) {
  }
  return nullptr;
}

std::unique_ptr<TStream> PackageEntryStream(const std::string& name,
                                            const std::string& packageFile) {
  try {
    int32_t index = 0;
    auto package = Lookup(name, packageFile, index);
    if (index != 0) {
      return std::make_unique<TPackageEntryStream>(std::move(package), index);
    }
  } catch (...) {
  }
  return nullptr;
}

}  // namespace leafbook
