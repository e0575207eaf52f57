// Addressing helpers shared by the kernels: pixel rows by pixels per row,
// plane rows by bytes per row, and single bits of a one-bit plane (most
// significant bit leftmost). Offsets are computed in ptrdiff_t so that large
// pictures never overflow 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>

template <typename Word>
inline Word* PixelAt(void* base, int32_t perRow, int32_t x, int32_t y) {
  return static_cast<Word*>(base) + (ptrdiff_t(y) * perRow + x);
}
template <typename Word>
inline const Word* PixelAt(const void* base, int32_t perRow, int32_t x, int32_t y) {
  return static_cast<const Word*>(base) + (ptrdiff_t(y) * perRow + x);
}

inline uint8_t* PlaneRow(uint8_t* data, int32_t bytesPerRow, int32_t y) {
  return data + ptrdiff_t(y) * bytesPerRow;
}
inline const uint8_t* PlaneRow(const uint8_t* data, int32_t bytesPerRow, int32_t y) {
  return data + ptrdiff_t(y) * bytesPerRow;
}

inline bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void SetBit(uint8_t* row, int32_t x) { row[x >> 3] |= uint8_t(0x80 >> (x & 7)); }
inline void ClearBit(uint8_t* row, int32_t x) { row[x >> 3] &= uint8_t(~(0x80 >> (x & 7))); }
inline void PutBit(uint8_t* row, int32_t x, bool on) {
  if (on)
    SetBit(row, x);
  else
    ClearBit(row, x);
}
inline void FlipBit(uint8_t* row, int32_t x) { row[x >> 3] ^= uint8_t(0x80 >> (x & 7)); }

// Eight bits of a row starting at bit column [x], the first in bit 7. Reads
// the following byte only when [x] is not byte-aligned, so the caller must
// make sure that bit column x + 7 lies in the row.
inline uint32_t GetBits8(const uint8_t* row, int32_t x) {
  int32_t shift = x & 7;
  const uint8_t* p = row + (x >> 3);
  if (shift == 0) return p[0];
  return ((uint32_t(p[0]) << 8 | p[1]) >> (8 - shift)) & 0xFF;
}

// Calls fn.template operator()<M>() for the mode M = [mode] when it lies in
// [0, N), so that loops over pixels are compiled once per mode.
template <int M, int N, typename Fn>
void DispatchModeFrom(int32_t mode, Fn& fn) {
  if constexpr (M < N) {
    if (mode == M)
      fn.template operator()<M>();
    else
      DispatchModeFrom<M + 1, N>(mode, fn);
  }
}
template <int N, typename Fn>
void DispatchMode(int32_t mode, Fn&& fn) {
  DispatchModeFrom<0, N>(mode, fn);
}
