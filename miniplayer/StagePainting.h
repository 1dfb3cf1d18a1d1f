// Drawing the stage into a window's DC: background, images, notices and the
// status line, composed off screen so that a repaint never flickers.
#pragma once

#include <windows.h>

#include "miniplayer/Stage.h"

namespace leafbook::miniplayer {

// backgroundColor: 0xRRGGBB, or -1 for the main movie's own (white without one).
void PaintStage(HDC target, HWND window, const TStage& stage, long backgroundColor);

}  // namespace leafbook::miniplayer
