// Fontconfig's functions as the platform calls them to find the system's
// fonts, going to the library on first use: a run that asks for no system
// font does not load it. The list is what the linker asks for when fontconfig
// is dropped from the link.
#include <fontconfig/fontconfig.h>

#include "platform/linux/lazyforward.h"

namespace {
vkLazyLibrary gFontconfig{VK_FONTCONFIG_SONAME};
}  // namespace

#define VK_FONTCONFIG(ret, name, params, args) VK_LAZY_FORWARD(gFontconfig, ret, name, params, args)

VK_FONTCONFIG(void, FcConfigDestroy, (FcConfig *config), (config))
VK_FONTCONFIG(FcBool, FcConfigSubstitute, (FcConfig *config, FcPattern *p, FcMatchKind kind), (config, p, kind))
VK_FONTCONFIG(void, FcDefaultSubstitute, (FcPattern *pattern), (pattern))
VK_FONTCONFIG(FcFontSet *, FcFontList, (FcConfig *config, FcPattern *p, FcObjectSet *os), (config, p, os))
VK_FONTCONFIG(FcPattern *, FcFontMatch, (FcConfig *config, FcPattern *p, FcResult *result), (config, p, result))
VK_FONTCONFIG(void, FcFontSetDestroy, (FcFontSet *s), (s))
VK_FONTCONFIG(FcConfig *, FcInitLoadConfigAndFonts, (void), ())
VK_FONTCONFIG(FcBool, FcObjectSetAdd, (FcObjectSet *os, const char *object), (os, object))
VK_FONTCONFIG(FcObjectSet *, FcObjectSetCreate, (void), ())
VK_FONTCONFIG(void, FcObjectSetDestroy, (FcObjectSet *os), (os))
VK_FONTCONFIG(FcBool, FcPatternAddString, (FcPattern *p, const char *object, const FcChar8 *s), (p, object, s))
VK_FONTCONFIG(FcPattern *, FcPatternCreate, (void), ())
VK_FONTCONFIG(void, FcPatternDestroy, (FcPattern *p), (p))
VK_FONTCONFIG(FcResult, FcPatternGetInteger, (const FcPattern *p, const char *object, int n, int *i), (p, object, n, i))
VK_FONTCONFIG(FcResult, FcPatternGetString, (const FcPattern *p, const char *object, int n, FcChar8 ** s), (p, object, n, s))
