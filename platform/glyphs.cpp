// FreeType glyphs in one form: loading with synthetic styles, the bounded
// cache, drawing into the three raw targets and the measure-and-draw loop
// that both FreeType engines share.
#include "platform/glyphs.h"

#include <algorithm>
#include <cstring>

#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

namespace {

uint64_t CacheKey(uint32_t index, uint32_t style) {
  return (uint64_t{index} << 8) | (style & (kGlyphBold | kGlyphItalic | kGlyphAntialias));
}

bool LoadGlyph(FT_Face face, uint32_t index, uint32_t style, vkGlyph* out) {
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_AUTOHINT) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  if (style & kGlyphBold) FT_GlyphSlot_Embolden(slot);
  if (style & kGlyphItalic) FT_GlyphSlot_Oblique(slot);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
      FT_Render_Glyph(slot, (style & kGlyphAntialias) ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
    return false;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_MONO && bm.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  out->left = slot->bitmap_left;
  out->top = slot->bitmap_top;
  out->advance = int32_t(slot->advance.x);
  out->width = int32_t(bm.width);
  out->rows = int32_t(bm.rows);
  out->mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  const int32_t stride = bm.pitch < 0 ? -bm.pitch : bm.pitch;
  out->pitch = stride;
  out->bits.resize(size_t(stride) * bm.rows);
  for (uint32_t y = 0; y < bm.rows; y++) {
    const uint8_t* src = bm.pitch < 0 ? bm.buffer + size_t(bm.rows - 1 - y) * stride : bm.buffer + size_t(y) * stride;
    if (stride) std::memcpy(out->bits.data() + size_t(y) * stride, src, stride);
  }
  if (!out->mono && bm.num_grays != 256 && bm.num_grays > 1) {
    for (uint8_t& b : out->bits) b = uint8_t(std::min(255u, uint32_t(b) * 255u / (bm.num_grays - 1)));
  }
  return true;
}

// Visits every target pixel a glyph covers, inside the clip.
template <typename F>
void ForGlyphPixels(int32_t x, int32_t y, int32_t width, int32_t rows, const vkGlyphTarget& t, F pixel) {
  const int32_t x1 = std::max({x, t.clipX1, 0});
  const int32_t y1 = std::max({y, t.clipY1, 0});
  const int64_t x2 = std::min({int64_t{x} + width - 1, int64_t{t.clipX2}, int64_t{t.width} - 1});
  const int64_t y2 = std::min({int64_t{y} + rows - 1, int64_t{t.clipY2}, int64_t{t.height} - 1});
  for (int64_t ty = y1; ty <= y2; ty++)
    for (int64_t tx = x1; tx <= x2; tx++) pixel(int32_t(tx), int32_t(ty), int32_t(tx - x), int32_t(ty - y));
}

void Put(const vkGlyphTarget& t, int32_t tx, int32_t ty, uint8_t a) {
  if (a == 0) return;
  uint8_t* row = t.data + size_t(ty) * size_t(t.bytesPerRow);
  switch (t.kind) {
    case vkGlyphTargetKind::kMask:
      row[tx >> 3] |= uint8_t(0x80 >> (tx & 7));
      break;
    case vkGlyphTargetKind::kCoverage:
      row[tx] = std::max(row[tx], a);
      break;
    case vkGlyphTargetKind::kColour: {
      // The pixel core's rule: 255 copies, else d + (((s - d) * a) >> 8).
      uint32_t* p = reinterpret_cast<uint32_t*>(row) + tx;
      if (a == 255) {
        *p = t.colour & 0xFFFFFFu;
        break;
      }
      uint32_t d = *p, out = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int32_t s = int32_t((t.colour >> shift) & 0xFF), dc = int32_t((d >> shift) & 0xFF);
        out |= uint32_t(uint8_t(dc + (((s - dc) * a) >> 8))) << shift;
      }
      *p = out;
      break;
    }
  }
}

}  // namespace

const vkGlyph* GetFaceGlyph(vkGlyphFace* face, uint32_t index, uint32_t style, vkGlyph* scratch) {
  const uint64_t key = CacheKey(index, style);
  if (face->caching) {
    auto it = face->cache.find(key);
    if (it != face->cache.end()) return &it->second;
  }
  if (!LoadGlyph(face->face, index, style, scratch)) return nullptr;
  if (!face->caching) return scratch;
  if (face->cache.size() >= kGlyphCacheLimit) face->cache.clear();
  return &face->cache.emplace(key, *scratch).first->second;
}

void FreeFaceGlyphs(vkGlyphFace* face) { face->cache.clear(); }

void SetFaceScale(vkGlyphFace* face, double sx, double sy) {
  FT_Matrix m;
  m.xx = FT_Fixed(sx * 65536.0);
  m.xy = 0;
  m.yx = 0;
  m.yy = FT_Fixed(sy * 65536.0);
  FT_Set_Transform(face->face, &m, nullptr);
  face->scaleX = sx;
  FreeFaceGlyphs(face);
}

void DrawGlyph(const vkGlyph& g, int32_t x, int32_t y, const vkGlyphTarget& t) {
  if (!t.data) return;
  ForGlyphPixels(x, y, g.width, g.rows, t,
                 [&](int32_t tx, int32_t ty, int32_t gx, int32_t gy) { Put(t, tx, ty, g.Coverage(gx, gy)); });
}

void DrawGlyphBar(int32_t x, int32_t y, int32_t width, int32_t height, const vkGlyphTarget& t) {
  if (!t.data) return;
  ForGlyphPixels(x, y, width, height, t, [&](int32_t tx, int32_t ty, int32_t, int32_t) { Put(t, tx, ty, 255); });
}

bool RunGlyphs(vkGlyphFace* face, const uint32_t* codes, size_t count, uint32_t style, vkGlyphRunBox* box,
               const vkGlyphTarget* target, int32_t x, int32_t baseY) {
  FT_Face f = face->face;
  const bool kerning = FT_HAS_KERNING(f) && f->units_per_EM > 0;
  int64_t pen = 0;  // 26.6
  vkGlyph scratch;
  uint32_t index = count ? FT_Get_Char_Index(f, codes[0]) : 0;
  for (size_t i = 0; i < count; i++) {
    const vkGlyph* g = GetFaceGlyph(face, index, style, &scratch);
    if (!g) return false;
    const int32_t penX = int32_t(pen >> 6);
    if (g->width > 0 && g->rows > 0) {
      const int32_t left = penX + g->left, top = -g->top;
      box->minX = std::min(box->minX, left);
      box->maxX = std::max(box->maxX, left + g->width - 1);
      box->minY = std::min(box->minY, top);
      box->maxY = std::max(box->maxY, top + g->rows - 1);
      box->ink = true;
      if (target) DrawGlyph(*g, x + left, baseY + top, *target);
    }
    pen += g->advance;
    const uint32_t next = i + 1 < count ? FT_Get_Char_Index(f, codes[i + 1]) : 0;
    if (kerning && i + 1 < count) {
      FT_Vector delta{0, 0};
      if (FT_Get_Kerning(f, index, next, FT_KERNING_UNSCALED, &delta) == 0 && delta.x != 0) {
        const double px = double(delta.x) * face->pixelSize * 64.0 / f->units_per_EM * face->scaleX;
        pen += int64_t(px);
      }
    }
    index = next;
  }
  box->advance = int32_t(std::clamp<int64_t>(pen >> 6, INT32_MIN, INT32_MAX));
  if ((style & kGlyphUnderline) && f->units_per_EM > 0) {
    const int32_t thick = std::max<int32_t>(1, int32_t(FT_MulFix(f->underline_thickness, f->size->metrics.y_scale) >> 6));
    const int32_t below = std::max<int32_t>(1, int32_t(-FT_MulFix(f->underline_position, f->size->metrics.y_scale) >> 6));
    box->maxY = std::max(box->maxY, below + thick - 1);
    box->minY = std::min(box->minY, below);
    box->minX = std::min(box->minX, 0);
    box->maxX = std::max(box->maxX, box->advance - 1);
    if (target) DrawGlyphBar(x, baseY + below, box->advance, thick, *target);
  }
  return true;
}

bool DecodeUtf8(const char* text, size_t length, std::vector<uint32_t>* out) {
  const auto* s = reinterpret_cast<const uint8_t*>(text);
  out->clear();
  out->reserve(length);
  for (size_t i = 0; i < length;) {
    const uint8_t b = s[i];
    uint32_t code, need;
    if (b < 0x80) {
      out->push_back(b);
      i++;
      continue;
    }
    if ((b & 0xE0) == 0xC0) code = b & 0x1F, need = 1;
    else if ((b & 0xF0) == 0xE0) code = b & 0x0F, need = 2;
    else if ((b & 0xF8) == 0xF0) code = b & 0x07, need = 3;
    else return false;
    if (length - i <= need) return false;
    for (uint32_t k = 1; k <= need; k++) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (s[i + k] & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (code < kLeast[need] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out->push_back(code);
    i += need + 1;
  }
  return true;
}
