// The three TrueType faces held in the program: the Bitstream Vera files of
// Debian's ttf-bitstream-vera, embedded when the player is built.
#include <cstddef>
#include <cstdint>

#ifndef VK_VERA_DIR
#error "VK_VERA_DIR names the folder of the Bitstream Vera files"
#endif

#define VK_EMBED(symbol, file)                                                   \
  __asm__(".section .rodata\n.global " #symbol "\n.type " #symbol ", @object\n" \
          ".balign 16\n" #symbol ":\n.incbin \"" VK_VERA_DIR "/" file "\"\n"    \
          ".global " #symbol "End\n" #symbol "End:\n.previous\n")

VK_EMBED(vkVeraSans, "Vera.ttf");
VK_EMBED(vkVeraSerif, "VeraSe.ttf");
VK_EMBED(vkVeraMono, "VeraMono.ttf");
