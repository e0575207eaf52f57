// Print and TextOut layers: the text's drawing, laid out by the text
// library, becomes a layer of the current picture with its own planes, on
// top, where the text was to be drawn.
#include "layers/textlayers.h"

#include <new>

#include "base/errorcodes.h"
#include "layers/layers.h"
#include "text/textstate.h"

namespace {

int32_t AddTextLayer(vkState* L, int32_t kind, const vkTextLayout&, vkTextPicture& picture, int32_t x, int32_t y) {
  if (!picture.bitmap || picture.width < 1 || picture.height < 1) return 0;  // nothing to show
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  if (!data) return kErrOutOfMemory;
  const vkTransform identity;
  const vkLayerOptions options;
  return AddLayer(L, kind, vkObjectId{}, nullptr, x, y, picture.width, picture.height, &identity, &options,
                  std::move(picture.bitmap), std::move(picture.mask), std::move(picture.alpha), std::move(data), -1,
                  kAddLayerScaling);
}

}  // namespace

void RegisterTextLayers(vkState* L) { TextRunState(L).addTextLayer = AddTextLayer; }
