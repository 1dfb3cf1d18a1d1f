// The stage painter.
#include "miniplayer/StagePainting.h"

#include <algorithm>
#include <string>

#include "framework/base/Resources.h"

namespace leafbook::miniplayer {

namespace {

COLORREF ToColorRef(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

void PaintStage(HDC target, HWND window, const TStage& stage, long backgroundColor) {
  RECT client;
  GetClientRect(window, &client);
  const int width = std::max<int>(1, client.right);
  const int height = std::max<int>(1, client.bottom);
  TOwnedDC dc(CreateCompatibleDC(target));
  TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(target, width, height));
  if (!dc || !bitmap) {
    return;
  }
  TSelectedObject selectedBitmap(dc.Get(), bitmap.Get());

  const TLayer* main = stage.Level(0);
  uint32_t background = 0xFFFFFF;
  if (backgroundColor >= 0) {
    background = static_cast<uint32_t>(backgroundColor) & 0xFFFFFF;
  } else if (main != nullptr && main->timeline && main->timeline->Movie().background) {
    background = *main->timeline->Movie().background;
  }
  TGdiObject<HBRUSH> brush(CreateSolidBrush(ToColorRef(background)));
  FillRect(dc.Get(), &client, brush.Get());

  SetStretchBltMode(dc.Get(), HALFTONE);
  SetBkMode(dc.Get(), TRANSPARENT);
  TSelectedObject selectedFont(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
  for (const auto& [level, layer] : stage.Layers()) {
    if (layer->image) {
      const TImage& image = *layer->image;
      // Scaled to fit, aspect kept, centred.
      const double scale = std::min(static_cast<double>(width) / image.width,
                                    static_cast<double>(height) / image.height);
      const int w = std::max(1, static_cast<int>(image.width * scale));
      const int h = std::max(1, static_cast<int>(image.height * scale));
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = image.width;
      info.bmiHeader.biHeight = -image.height;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      StretchDIBits(dc.Get(), (width - w) / 2, (height - h) / 2, w, h, 0, 0, image.width,
                    image.height, image.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    if (!layer->notice.empty()) {
      RECT box = client;
      SetTextColor(dc.Get(), RGB(160, 0, 0));
      DrawTextW(dc.Get(), layer->notice.c_str(), -1, &box,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
  }
  std::wstring status = L"no movie";
  if (main != nullptr && main->timeline) {
    status = L"frame " + std::to_wstring(main->timeline->CurrentFrame() + 1) + L" of " +
             std::to_wstring(main->timeline->TotalFrames());
  }
  RECT line{4, height - 18, width - 4, height - 2};
  // Light text on dark backgrounds, dark text on light ones.
  const uint32_t luminance = (((background >> 16) & 0xFF) * 299 + ((background >> 8) & 0xFF) * 587 +
                              (background & 0xFF) * 114) /
                             1000;
  SetTextColor(dc.Get(), luminance < 128 ? RGB(230, 230, 230) : RGB(40, 40, 40));
  DrawTextW(dc.Get(), status.c_str(), -1, &line, DT_LEFT | DT_BOTTOM | DT_SINGLELINE);

  BitBlt(target, 0, 0, width, height, dc.Get(), 0, 0, SRCCOPY);
}

}  // namespace leafbook::miniplayer
