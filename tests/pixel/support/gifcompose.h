// The test side's GIF anim compositor: giflib parses the file (and undoes
// interlacing), and the frames are composed here on a screen-sized canvas
// by the anim rules written out plainly: transparent pixels keep the canvas,
// disposal 2 fills the image's area with the colour of its transparent
// index (else the background index), disposal 3 restores the area, images
// are cut to the screen, and the very first frame with a transparent index
// and disposal 2 starts from a canvas of that colour.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gifcompose {

struct Anim {
  int32_t width = 0, height = 0;
  std::vector<std::vector<uint32_t>> frames;
  std::vector<int32_t> delaysMs;
  bool ok = false;
};

inline uint32_t Colour(const ColorMapObject* map, int index) {
  if (!map || index >= map->ColorCount) return 0;
  const GifColorType& c = map->Colors[index];
  return uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
}

inline Anim Compose(const std::string& path) {
  Anim out;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) return out;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return out;
  }
  const int32_t w = gif->SWidth, h = gif->SHeight;
  out.width = w, out.height = h;
  std::vector<uint32_t> canvas(size_t(w) * h, Colour(gif->SColorMap, gif->SBackGroundColor)), saved;
  for (int i = 0; i < gif->ImageCount; i++) {
    const SavedImage& img = gif->SavedImages[i];
    GraphicsControlBlock gcb{0, false, 0, NO_TRANSPARENT_COLOR};
    DGifSavedExtensionToGCB(gif, i, &gcb);
    const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
    const int32_t l = img.ImageDesc.Left, t = img.ImageDesc.Top, iw = img.ImageDesc.Width, ih = img.ImageDesc.Height;
    const int tr = gcb.TransparentColor;
    if (i == 0 && tr >= 0 && gcb.DisposalMode == 2) canvas.assign(canvas.size(), Colour(map, tr));
    if (gcb.DisposalMode == 3) saved = canvas;
    for (int32_t y = 0; y < ih; y++)
      for (int32_t x = 0; x < iw; x++) {
        const int v = img.RasterBits[size_t(y) * iw + x];
        if (v == tr || l + x >= w || t + y >= h) continue;
        canvas[size_t(t + y) * w + l + x] = Colour(map, v);
      }
    out.frames.push_back(canvas);
    out.delaysMs.push_back(gcb.DelayTime * 10);
    for (int32_t y = t; y < t + ih && y < h; y++)
      for (int32_t x = l; x < l + iw && x < w; x++) {
        if (gcb.DisposalMode == 2) canvas[size_t(y) * w + x] = Colour(map, tr >= 0 ? tr : gif->SBackGroundColor);
        if (gcb.DisposalMode == 3) canvas[size_t(y) * w + x] = saved[size_t(y) * w + x];
      }
  }
  out.ok = true;
  DGifCloseFile(gif, &error);
  return out;
}

}  // namespace gifcompose
