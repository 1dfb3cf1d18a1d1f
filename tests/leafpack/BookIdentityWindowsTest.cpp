// The real viewer rebuilt with a book's identity and read back by Windows
// itself: version details, icon, manifest, and the checksum imagehlp computes.
#include <gtest/gtest.h>

#include <windows.h>
#include <imagehlp.h>
#include <shellapi.h>

#include "framework/base/Streams.h"
#include "tests/leafpack/IdentityFixture.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {
namespace {

using testing::ReadBytes;
using testing::TTempDir;
using testing::WriteBytes;

std::wstring Wide(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                     static_cast<int>(text.size()), out.data(),
                                                     static_cast<int>(out.size()))));
  return out;
}

// The checksum Windows computes for the file, and the one its headers store.
std::pair<DWORD, DWORD> Checksums(std::string bytes) {
  DWORD stored = 0;
  DWORD computed = 0;
  EXPECT_NE(CheckSumMappedFile(bytes.data(), static_cast<DWORD>(bytes.size()), &stored, &computed),
            nullptr);
  return {computed, stored};
}

class RealViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string viewer = ReadBytes(LEAFBOOK_VIEWER);
    ASSERT_GT(viewer.size(), 4096u) << LEAFBOOK_VIEWER;
    WriteBytes(dir_.Path() / "book.ico", testing::IcoBytes());
    TBookIdentity identity;
    identity.IconFiles = {dir_.File("book.ico")};
    identity.FileVersion = TVersionNumber{2, 1, 0, 7};
    identity.ProductVersion = TVersionNumber{2, 1, 0, 0};
    identity.ProductName = "Le Livre";
    identity.CompanyName = "Éditions Été ©";
    identity.OriginalFilename = "livre.exe";
    const std::vector<uint8_t> book =
        ApplyBookIdentity(std::vector<uint8_t>(viewer.begin(), viewer.end()), identity);
    book_ = std::string(book.begin(), book.end());
    WriteBytes(dir_.Path() / "livre.exe", book_);
    path_ = Wide(dir_.File("livre.exe"));
  }

  std::wstring Value(const std::vector<uint8_t>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length)) {
      return L"(none)";
    }
    return static_cast<const wchar_t*>(value);
  }

  TTempDir dir_;
  std::string book_;
  std::wstring path_;
};

TEST_F(RealViewerTest, WindowsReadsTheBooksVersionDetails) {
  std::vector<uint8_t> info(GetFileVersionInfoSizeW(path_.c_str(), nullptr));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  EXPECT_EQ(Value(info, L"CompanyName"), Wide("Éditions Été ©"));
  EXPECT_EQ(Value(info, L"ProductName"), L"Le Livre");
  EXPECT_EQ(Value(info, L"FileDescription"), L"Le Livre");
  EXPECT_EQ(Value(info, L"FileVersion"), L"2.1.0.7");
  EXPECT_EQ(Value(info, L"ProductVersion"), L"2.1.0.0");
  EXPECT_EQ(Value(info, L"OriginalFilename"), L"livre.exe");
  EXPECT_EQ(Value(info, L"InternalName"), L"livre");
  EXPECT_EQ(Value(info, L"LegalCopyright"), L"(none)");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xfeef04bdu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
}

TEST_F(RealViewerTest, WindowsFindsTheBooksIconAndTheViewersManifest) {
  HMODULE module = LoadLibraryExW(path_.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(SizeofResource(module, group), 6u + 14u);
  HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0);
  EXPECT_NE(icon, nullptr);
  ICONINFO iconInfo{};
  if (icon) {
    ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &iconInfo));
    BITMAP bitmap{};
    GetObjectW(iconInfo.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    DeleteObject(iconInfo.hbmColor);
    DeleteObject(iconInfo.hbmMask);
    DestroyIcon(static_cast<HICON>(icon));
  }
  FreeLibrary(module);
  EXPECT_EQ(ExtractIconExW(path_.c_str(), -1, nullptr, nullptr, 0), 1u);
}

TEST_F(RealViewerTest, ImagehlpAgreesWithTheChecksumBeforeAndAfterThePackage) {
  const auto [computed, stored] = Checksums(book_);
  EXPECT_EQ(computed, stored);
  const TPeImage image(std::span(reinterpret_cast<const uint8_t*>(book_.data()), book_.size()));
  EXPECT_EQ(image.Sections().back().Name, ".rsrc2");

  std::string published = book_ + std::string(100001, 'p');
  WriteBytes(dir_.Path() / "published.exe", published);
  {
    TFileStream file(dir_.File("published.exe"), platform::TFileMode::OpenReadWrite);
    ASSERT_TRUE(UpdatePeChecksum(file));
  }
  published = ReadBytes(dir_.Path() / "published.exe");
  const auto [publishedComputed, publishedStored] = Checksums(published);
  EXPECT_EQ(publishedComputed, publishedStored);
  EXPECT_NE(publishedStored, stored);
}

}  // namespace
}  // namespace leafbook::leafpack
