// Movies from streams: the content manager invents the movie's in-memory
// path, tells the control, and carries the bytes to the runtime.
#include "flashhost/FlashPlayerControl.h"
#include "framework/base/Exceptions.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook {

namespace {

TContentManager& Manager() {
  TContentManager* manager = ContentManager();
  if (!manager) {
    throw Exception("The content manager is not running");
  }
  return *manager;
}

}  // namespace

void TFlashPlayerControl::LoadMovieLayerFromStream(int32_t layer, TStream& stream) {
  Manager().LoadMovieFromStream(ControlBase(), true, stream, layer);
}

void TFlashPlayerControl::PlayMovieFromStream(TStream& stream) {
  Manager().LoadMovieFromStream(ControlBase(), false, stream, -1);
}

std::unique_ptr<TStream> TFlashPlayerControl::OpenMovieLayerStream(int32_t layer) {
  return Manager().CreateMovieStream(ControlBase(), true, layer);
}

std::unique_ptr<TStream> TFlashPlayerControl::OpenMovieStream() {
  return Manager().CreateMovieStream(ControlBase(), false, -1);
}

}  // namespace leafbook
