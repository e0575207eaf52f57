// The registry behind GetAttribute: each library that owns a kind of
// object, at whatever level it lives, registers a provider for its type
// code, which counts its objects and answers an attribute of one of them.
// The registry is the program context's; the ATTR* codes are here, one table.
#pragma once

#include <cstdint>

#include "engine/argcheck.h"

struct vkState;

// The object type codes, which name the kinds of script objects, of layers
// and of drawing operations.
// Used as vkObjectType::BGPIC and so on (FILE, LINE and BOX would clash
// with other names at file scope).
namespace vkObjectType {
enum : int32_t {
  BGPIC = 1, SAMPLE = 2, BRUSH = 3, ANIM = 4, SNDMODULE = 5, KEYDOWN = 6, NOOBJECT = 7, TEXTOBJECT = 8,
  TEXTOUT = 9, UNDO = 10, PRINT = 11, BRUSHPART = 12, BGPICPART = 13, BOX = 14, CIRCLE = 15, ELLIPSE = 16,
  LINE = 17, PLOT = 18, MAINWINDOW = 19, ANIMDISK = 20, DISPLAY = 21, LAYER = 22, HIDEBRUSH = 23,
  INSERTBRUSH = 24, HIDELAYER = 25, REMOVELAYER = 26, POLYGON = 27, MASK = 28, NEXTFRAME = 29,
  ALPHACHANNEL = 30, ARC = 31, SPRITE = 32, MUSIC = 33, NEXTFRAME2 = 34, CLIPREGION = 35, POINTER = 36,
  ASYNCDRAW = 37, DOUBLEBUFFER = 38, MEMORY = 39, EVENTHANDLER = 40, INTERVAL = 41, TIMEOUT = 42, FONT = 43,
  FILE = 44, DIRECTORY = 45, BRUSH_VS_BOX = 46, LAYER_VS_BOX = 47, SPRITE_VS_BOX = 48, VECTORPATH = 49,
};
inline constexpr int32_t SHAPE = MASK;
}  // namespace vkObjectType

enum vkAttribute : int32_t {
  ATTRWIDTH = 0, ATTRHEIGHT = 1, ATTRMAXWIDTH = 2, ATTRMAXHEIGHT = 3, ATTRBGPIC = 4, ATTRTRANSPARENTCOLOR = 5,
  ATTRLAYERS = 6, ATTRXPOS = 7, ATTRYPOS = 8, ATTRTYPE = 9, ATTRVISIBLE = 10, ATTRNUMFRAMES = 11,
  ATTRCURFRAME = 12, ATTRLAYERID = 13, ATTRDURATION = 14, ATTRPITCH = 15, ATTRHASMASK = 16, ATTRHASALPHA = 17,
  ATTRPOSITION = 18, ATTRFORMAT = 19, ATTRBITRATE = 20, ATTRCURSORX = 21, ATTRCURSORY = 22, ATTRONSCREEN = 23,
  ATTRBORDERLEFT = 24, ATTRBORDERTOP = 25, ATTRBORDERRIGHT = 26, ATTRBORDERBOTTOM = 27, ATTRHOSTWIDTH = 28,
  ATTRHOSTHEIGHT = 29, ATTRFONTASCENDER = 30, ATTRFONTDESCENDER = 31, ATTRFONTNAME = 32, ATTRFONTSIZE = 33,
  ATTRFONTSCALABLE = 34, ATTRFONTAA = 35, ATTRTEXT = 36, ATTRFRAMEDELAY = 37, ATTRPOINTER = 38,
  ATTRCLIPREGION = 39, ATTRSTATE = 40, ATTRACTIVE = 41, ATTRMODE = 42, ATTRSCALEMODE = 43, ATTRSCALEWIDTH = 44,
  ATTRSCALEHEIGHT = 45, ATTRBORDERLESS = 46, ATTRFIXED = 47, ATTRSIZEABLE = 48, ATTRNOHIDE = 49,
  ATTRNOMODESWITCH = 50, ATTRTITLE = 51, ATTRMARGINLEFT = 52, ATTRMARGINRIGHT = 53, ATTROUTPUTDEVICE = 54,
  ATTRDOUBLEBUFFER = 55, ATTRHOSTDEPTH = 56, ATTRSIZE = 57, ATTRFUNCTION = 58, ATTRUSERDATA = 59,
  ATTRCOUNT = 60, ATTRNOCLOSE = 61, ATTRGROUP = 62, ATTRMASKMODE = 63, ATTRALPHAINTENSITY = 64,
  ATTRRAWXPOS = 65, ATTRRAWYPOS = 66, ATTRRAWWIDTH = 67, ATTRRAWHEIGHT = 68,
};

// What one type answers. [count] gives the number of its objects (NULL: the
// type does not answer ATTRCOUNT). [query] answers [attribute] of the object
// named by the command's argument 2 (a provider reads it itself: most types
// take an object id, LAYER and EVENTHANDLER other forms), with the optional
// extra argument at stack index 4; it pushes its results and returns their
// number, or returns an error code (1080 for an attribute it does not
// answer, its not-found error).
struct vkAttributeProvider {
  int32_t (*count)(vkState* L) = nullptr;
  int (*query)(vkState* L, int32_t attribute) = nullptr;
};

// Registers the provider of [type] (replacing one registered before).
void RegisterAttributeProvider(vkState* L, int32_t type, const vkAttributeProvider& provider);

// Pushes an identifier as GetAttribute answers it: a light userdata for a
// system-chosen id, else the number.
void PushObjectId(vkState* L, const vkObjectId& id);

// The type codes a provider can be registered for (0 .. the last type that
// GetAttribute accepts).
inline constexpr int32_t kAttributeTypeSlots = vkObjectType::DIRECTORY + 1;

// The provider of [type], or NULL when none is registered or the type is
// outside the registry.
const vkAttributeProvider* FindAttributeProvider(vkState* L, int32_t type);
