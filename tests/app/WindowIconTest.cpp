// The book's icon on its window: a book whose viewer copy got an icon of its
// own (as leafpack build --icon writes it) shows that icon as the main
// window's and the application window's big and small icons, pixel for
// pixel; a book without one shows the viewer's own icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/AnsiText.h"
#include "framework/base/Resources.h"
#include "tests/app/BookFixture.h"
#include "tests/app/IconProbe.h"
#include "tests/app/ViewerProcess.h"
#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/PeResources.h"

namespace leafbook::testing {
namespace {

// What the icons are drawn over: a colour no image below has.
constexpr uint32_t kBackground = kIconProbeBackground;

// size x size pixels, top row first, each 0xAARRGGBB.
struct TImage {
  int size = 0;
  std::vector<uint32_t> pixels;
};

// Four quadrants of opaque colours, so that a wrong image, a scaled one or
// one upside down all differ from it.
TImage Quadrants(int size, const uint32_t (&colours)[4]) {
  TImage image{size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int quadrant = (y < size / 2 ? 0 : 2) + (x < size / 2 ? 0 : 1);
      image.pixels[static_cast<size_t>(y) * size + x] = 0xFF000000u | colours[quadrant];
    }
  }
  return image;
}

void Put16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value & 0xFFFF));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

// An icon image as .ico files and icon resources hold it: a 32-bit DIB of
// twice the height, bottom row first, then an AND mask of nothing.
std::string IconDib(const TImage& image) {
  std::string dib;
  const uint32_t maskRow = static_cast<uint32_t>((image.size + 31) / 32 * 4);
  Put32(dib, 40);
  Put32(dib, static_cast<uint32_t>(image.size));
  Put32(dib, static_cast<uint32_t>(image.size * 2));
  Put16(dib, 1);
  Put16(dib, 32);
  Put32(dib, 0);  // BI_RGB
  Put32(dib, static_cast<uint32_t>(image.size * image.size * 4) + maskRow * image.size);
  for (int i = 0; i < 4; ++i) {
    Put32(dib, 0);
  }
  for (int y = image.size - 1; y >= 0; --y) {
    for (int x = 0; x < image.size; ++x) {
      Put32(dib, image.pixels[static_cast<size_t>(y) * image.size + x]);
    }
  }
  dib.append(maskRow * image.size, '\0');
  return dib;
}

std::string IcoFile(const std::vector<TImage>& images) {
  std::string ico;
  Put16(ico, 0);
  Put16(ico, 1);
  Put16(ico, static_cast<uint16_t>(images.size()));
  std::string data;
  for (const TImage& image : images) {
    const std::string dib = IconDib(image);
    ico += static_cast<char>(image.size);
    ico += static_cast<char>(image.size);
    ico += '\0';  // no palette
    ico += '\0';
    Put16(ico, 1);
    Put16(ico, 32);
    Put32(ico, static_cast<uint32_t>(dib.size()));
    Put32(ico, static_cast<uint32_t>(6 + 16 * images.size() + data.size()));
    data += dib;
  }
  return ico + data;
}

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// The image of size pixels in icon group 1 of a PE file's resources, read
// from the file's bytes (32-bit images only); an empty image when none.
TImage GroupOneImage(const std::string& file, int size) {
  const std::vector<uint8_t> bytes(file.begin(), file.end());
  const std::vector<leafpack::TResource> resources =
      leafpack::ReadResources(leafpack::TPeImage(bytes), bytes);
  auto find = [&](uint16_t type, uint16_t id) -> const std::vector<uint8_t>* {
    for (const leafpack::TResource& resource : resources) {
      if (!resource.Type.IsString() && resource.Type.Id == type && !resource.Name.IsString() &&
          resource.Name.Id == id) {
        return &resource.Data;
      }
    }
    return nullptr;
  };
  const std::vector<uint8_t>* group = find(leafpack::RtGroupIcon, 1);
  if (!group || group->size() < 6) {
    return {};
  }
  const size_t count = (*group)[4] | ((*group)[5] << 8);
  for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group->size(); ++i) {
    const size_t entry = 6 + 14 * i;
    const int width = (*group)[entry] == 0 ? 256 : (*group)[entry];
    const uint16_t id = static_cast<uint16_t>((*group)[entry + 12] | ((*group)[entry + 13] << 8));
    const std::vector<uint8_t>* dib = find(leafpack::RtIcon, id);
    if (width != size || !dib || dib->size() < 40 || (*dib)[14] != 32) {
      continue;
    }
    TImage image{size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
    const size_t headerSize = Read32(*dib, 0);
    if (dib->size() < headerSize + static_cast<size_t>(size) * size * 4) {
      continue;
    }
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        image.pixels[static_cast<size_t>(size - 1 - y) * size + x] =
            Read32(*dib, headerSize + (static_cast<size_t>(y) * size + x) * 4);
      }
    }
    return image;
  }
  return {};
}

// What drawing image over kBackground gives, blended by its alpha.
std::vector<uint32_t> OverBackground(const TImage& image) {
  std::vector<uint32_t> result;
  for (uint32_t pixel : image.pixels) {
    const uint32_t alpha = pixel >> 24;
    uint32_t blended = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t source = (pixel >> shift) & 0xFF;
      const uint32_t under = (kBackground >> shift) & 0xFF;
      blended |= ((source * alpha + under * (255 - alpha) + 127) / 255) << shift;
    }
    result.push_back(blended);
  }
  return result;
}

// Where drawn differs from expected by more than rounding, or why it cannot
// be compared; empty when they match.
std::string Difference(const std::vector<uint32_t>& drawn, const std::vector<uint32_t>& expected,
                       int size) {
  if (expected.empty()) {
    return "no image to compare with";
  }
  if (drawn.size() != expected.size()) {
    return "no icon drawn";
  }
  for (size_t i = 0; i < drawn.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((drawn[i] >> shift) & 0xFF);
      const int b = static_cast<int>((expected[i] >> shift) & 0xFF);
      if (a - b > 2 || b - a > 2) {
        char text[96];
        std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X",
                      static_cast<int>(i % size), static_cast<int>(i / size), drawn[i],
                      expected[i]);
        return text;
      }
    }
  }
  return "";
}

using TOwnedHook = TOwnedHandle<TNullInvalidTraits<HHOOK, ::UnhookWindowsHookEx>>;

// The icon probe hooked into the thread of a viewer's window: what that
// thread's windows show as their icons, drawn in the viewer's process.
class TIconProbe {
 public:
  TIconProbe(HWND window, std::string out) : out_(std::move(out)) {
    const std::string path =
        (std::filesystem::path(ViewerPath()).parent_path() / "icon_probe.dll").string();
    module_.Reset(::LoadLibraryW(AnsiToWide(path).c_str()));
    auto hook = module_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                              ::GetProcAddress(module_.Get(), kIconProbeHook)))
                        : nullptr;
    if (hook) {
      hook_.Reset(::SetWindowsHookExW(WH_GETMESSAGE, hook, module_.Get(),
                                      ::GetWindowThreadProcessId(window, nullptr)));
    }
  }
  bool Hooked() const { return hook_.Valid(); }

  // window's icon (ICON_BIG or ICON_SMALL) drawn at size x size over
  // kIconProbeBackground; empty when it has none or the probe did not answer.
  std::vector<uint32_t> Drawn(HWND window, WPARAM which, int size) {
    const std::string answer = out_ + "." + std::to_string(which) + "." +
                               std::to_string(reinterpret_cast<ULONG_PTR>(window));
    ::PostMessageW(window, ::RegisterWindowMessageW(kIconProbeMessage), which, size);
    if (!WaitFor([&] { return std::filesystem::exists(answer); })) {
      return {};
    }
    const std::string bytes = ReadBytes(answer);
    std::vector<uint32_t> pixels(bytes.size() / sizeof(uint32_t));
    std::memcpy(pixels.data(), bytes.data(), pixels.size() * sizeof(uint32_t));
    return pixels;
  }

 private:
  std::string out_;
  TOwnedModule module_;
  TOwnedHook hook_;
};

class WindowIconTest : public TBookTest {
 protected:
  // Starts book and expects its main window's and application window's big
  // and small icons to be bigIcon and smallIcon.
  void ExpectIcons(const std::string& book, const TImage& bigIcon, const TImage& smallIcon) {
    const std::string out = dir_.File("icon");
    const TScopedVariable probeOut(kIconProbeOutVariable, out);
    TViewerProcess viewer(book, {"-D", "-F" + log_});
    ASSERT_TRUE(viewer.Started());
    HWND window = viewer.MainWindow();
    ASSERT_NE(window, nullptr) << LogAndTrace();
    HWND application = viewer.ApplicationWindow();
    ASSERT_NE(application, nullptr);
    TIconProbe probe(window, out);
    ASSERT_TRUE(probe.Hooked());
    struct TExpected {
      const char* what;
      HWND window;
      WPARAM which;
      const TImage& image;
    };
    for (const TExpected& e :
         {TExpected{"main window, big", window, ICON_BIG, bigIcon},
          TExpected{"main window, small", window, ICON_SMALL, smallIcon},
          TExpected{"application window, big", application, ICON_BIG, bigIcon},
          TExpected{"application window, small", application, ICON_SMALL, smallIcon}}) {
      const std::string difference = Difference(probe.Drawn(e.window, e.which, e.image.size),
                                                OverBackground(e.image), e.image.size);
      EXPECT_EQ(difference, "") << e.what;
    }
  }

  const int bigSize_ = ::GetSystemMetrics(SM_CXICON);
  const int smallSize_ = ::GetSystemMetrics(SM_CXSMICON);
};

TEST_F(WindowIconTest, TheBooksOwnIconIsTheWindowsBigAndSmallIcon) {
  const uint32_t bigColours[4] = {0x288C3C, 0xF0C020, 0x2040D0, 0x101010};
  const uint32_t smallColours[4] = {0xD02020, 0x20D0D0, 0xF0F0F0, 0x6030A0};
  const TImage bigIcon = Quadrants(bigSize_, bigColours);
  const TImage smallIcon = Quadrants(smallSize_, smallColours);
  const std::string ico = dir_.File("book.ico");
  WriteBytes(ico, IcoFile({smallIcon, bigIcon}));
  leafpack::TBookIdentity identity;
  identity.IconFiles = {ico};
  const std::string viewer = ReadBytes(ViewerPath());
  const std::vector<uint8_t> withIcon =
      leafpack::ApplyBookIdentity(std::vector<uint8_t>(viewer.begin(), viewer.end()), identity);
  // The icon went into the copy's group 1 as given.
  const std::string copy(withIcon.begin(), withIcon.end());
  ASSERT_EQ(GroupOneImage(copy, bigSize_).pixels, bigIcon.pixels);
  ExpectIcons(BookOnViewer(copy, PlayingBook(1)), bigIcon, smallIcon);
}

TEST_F(WindowIconTest, WithoutAnIconOfItsOwnTheViewersIconShows) {
  const std::string viewer = ReadBytes(ViewerPath());
  const TImage bigIcon = GroupOneImage(viewer, bigSize_);
  const TImage smallIcon = GroupOneImage(viewer, smallSize_);
  ASSERT_EQ(bigIcon.size, bigSize_)
      << "the viewer's icon has no image of " << bigSize_ << " pixels";
  ASSERT_EQ(smallIcon.size, smallSize_);
  ExpectIcons(Book(PlayingBook(1)), bigIcon, smallIcon);
}

}  // namespace
}  // namespace leafbook::testing
