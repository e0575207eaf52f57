// Applet files built record by record, for the applet reader's tests and its
// fuzz replay.
#pragma once

#include <cstdint>
#include <string>

namespace appletbytes {

// Big-endian record bytes.
struct Rec {
  std::string b;
  Rec& Byte(uint32_t v) { b.push_back(char(v & 0xFF)); return *this; }
  Rec& Half(int32_t v) { return Byte(uint32_t(v) >> 8).Byte(uint32_t(v)); }
  Rec& Word(uint32_t v) { return Byte(v >> 24).Byte(v >> 16).Byte(v >> 8).Byte(v); }
  Rec& Str(const std::string& s) { b += s; b.push_back('\0'); return *this; }
  Rec& Raw(const std::string& s) { b += s; return *this; }
};

inline const std::string kMagic("VKA\0", 4);
inline std::string Version(int major, int minor) { return Rec().Byte(10).Byte(major).Byte(minor).b; }
inline std::string Bytecode(const std::string& code) { return Rec().Byte(1).Word(uint32_t(code.size())).Raw(code).b; }
inline std::string Applet(const std::string& records) { return kMagic + Version(4, 7) + records + Bytecode("CODE"); }

// A preload entry head: type, id, name offset and length, data offset and
// size, transparency, loadalpha, line.
inline Rec PreloadHead(uint32_t type, uint32_t id, uint32_t nameOff = 0, uint32_t nameLen = 0, uint32_t dataOff = 0,
                       uint32_t dataSize = 0) {
  Rec r;
  r.Byte(type).Word(id).Word(nameOff).Word(nameLen).Word(dataOff).Word(dataSize).Word(0xFFFFFFFF).Word(0).Word(7);
  return r;
}

// A display record with [drag] drag regions and a title.
inline Rec DisplayRecord(uint32_t drag, const std::string& title) {
  Rec r = PreloadHead(10, 1);
  for (uint32_t v : {0u, 10u, 20u, 320u, 200u, 0x102030u, 0x401u, 0x401u, 0u, 0u}) r.Word(v);
  r.Word(drag);
  for (uint32_t i = 0; i < drag && i < 64; ++i) r.Word(1).Word(2).Word(3).Word(4).Word(5);
  r.Word(0).Half(int32_t(title.size())).Raw(title);
  r.Byte(2).Word(0xFF).Half(90).Word(0).Word(0).Word(0);
  return r;
}

}  // namespace appletbytes
