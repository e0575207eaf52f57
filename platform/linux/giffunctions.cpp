// giflib's functions as the platform's picture reader calls them, going to
// the library on first use: a run that reads no GIF does not load it. The
// list is what the linker asks for when giflib is dropped from the link.
#include <gif_lib.h>

#include "platform/linux/lazyforward.h"

namespace {
vkLazyLibrary gGif{VK_GIF_SONAME};
}  // namespace

#define VK_GIF(ret, name, params, args) VK_LAZY_FORWARD(gGif, ret, name, params, args)

VK_GIF(int, DGifCloseFile, (GifFileType *GifFile, int *ErrorCode), (GifFile, ErrorCode))
VK_GIF(int, DGifGetExtension, (GifFileType *GifFile, int *GifExtCode, GifByteType **GifExtension), (GifFile, GifExtCode, GifExtension))
VK_GIF(int, DGifGetExtensionNext, (GifFileType *GifFile, GifByteType **GifExtension), (GifFile, GifExtension))
VK_GIF(int, DGifGetImageDesc, (GifFileType *GifFile), (GifFile))
VK_GIF(int, DGifGetLine, (GifFileType *GifFile, GifPixelType *GifLine, int GifLineLen), (GifFile, GifLine, GifLineLen))
VK_GIF(int, DGifGetRecordType, (GifFileType *GifFile, GifRecordType *GifType), (GifFile, GifType))
VK_GIF(GifFileType *, DGifOpen, (void *userPtr, InputFunc readFunc, int *Error), (userPtr, readFunc, Error))
