// GetAttribute and its provider registry, with the constants that name the
// attributes, the object types and the special coordinates.
#include "graphics/attributes.h"

#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/graphicsstate.h"
#include "graphics/positions.h"

namespace {

int CmdGetAttribute(vkState* L) {
  CheckArgCount(L, 3, 4);
  const int32_t type = vkDoubleToInt32(vmCheckNumber(L, 1));
  const int32_t attribute = vkDoubleToInt32(vmCheckNumber(L, 3));
  if (type < 0 || type > kLastAttributeType) return kErrWrongUsage;
  const vkAttributeProvider* provider = FindAttributeProvider(L, type);
  if (provider == nullptr) return kErrUnknownAttribute;
  if (attribute == ATTRCOUNT && provider->count != nullptr) {
    vmPushNumber(L, provider->count(L));
    return 1;
  }
  if (provider->query == nullptr) return kErrUnknownAttribute;
  return provider->query(L, attribute);
}

const vkCommandDef kAttributeCommands[] = {{"GetAttribute", CmdGetAttribute}, {nullptr, nullptr}};

#define VK_CONSTANT(name) {#name, nullptr, double(name)}
#define VK_TYPE(name) {#name, nullptr, double(vkObjectType::name)}
const vkConstantDef kAttributeConstants[] = {
    VK_CONSTANT(ATTRWIDTH), VK_CONSTANT(ATTRHEIGHT), VK_CONSTANT(ATTRMAXWIDTH), VK_CONSTANT(ATTRMAXHEIGHT),
    VK_CONSTANT(ATTRBGPIC), VK_CONSTANT(ATTRTRANSPARENTCOLOR), VK_CONSTANT(ATTRLAYERS), VK_CONSTANT(ATTRXPOS),
    VK_CONSTANT(ATTRYPOS), VK_CONSTANT(ATTRTYPE), VK_CONSTANT(ATTRVISIBLE), VK_CONSTANT(ATTRNUMFRAMES),
    VK_CONSTANT(ATTRCURFRAME), VK_CONSTANT(ATTRLAYERID), VK_CONSTANT(ATTRDURATION), VK_CONSTANT(ATTRPITCH),
    VK_CONSTANT(ATTRHASMASK), VK_CONSTANT(ATTRHASALPHA), VK_CONSTANT(ATTRPOSITION), VK_CONSTANT(ATTRFORMAT),
    VK_CONSTANT(ATTRBITRATE), VK_CONSTANT(ATTRCURSORX), VK_CONSTANT(ATTRCURSORY), VK_CONSTANT(ATTRONSCREEN),
    VK_CONSTANT(ATTRBORDERLEFT), VK_CONSTANT(ATTRBORDERTOP), VK_CONSTANT(ATTRBORDERRIGHT),
    VK_CONSTANT(ATTRBORDERBOTTOM), VK_CONSTANT(ATTRHOSTWIDTH), VK_CONSTANT(ATTRHOSTHEIGHT),
    VK_CONSTANT(ATTRFONTASCENDER), VK_CONSTANT(ATTRFONTDESCENDER), VK_CONSTANT(ATTRFONTNAME),
    VK_CONSTANT(ATTRFONTSIZE), VK_CONSTANT(ATTRFONTSCALABLE), VK_CONSTANT(ATTRFONTAA), VK_CONSTANT(ATTRTEXT),
    VK_CONSTANT(ATTRFRAMEDELAY), VK_CONSTANT(ATTRPOINTER), VK_CONSTANT(ATTRCLIPREGION), VK_CONSTANT(ATTRSTATE),
    VK_CONSTANT(ATTRACTIVE), VK_CONSTANT(ATTRMODE), VK_CONSTANT(ATTRSCALEMODE), VK_CONSTANT(ATTRSCALEWIDTH),
    VK_CONSTANT(ATTRSCALEHEIGHT), VK_CONSTANT(ATTRBORDERLESS), VK_CONSTANT(ATTRFIXED), VK_CONSTANT(ATTRSIZEABLE),
    VK_CONSTANT(ATTRNOHIDE), VK_CONSTANT(ATTRNOMODESWITCH), VK_CONSTANT(ATTRTITLE), VK_CONSTANT(ATTRMARGINLEFT),
    VK_CONSTANT(ATTRMARGINRIGHT), VK_CONSTANT(ATTROUTPUTDEVICE), VK_CONSTANT(ATTRDOUBLEBUFFER),
    VK_CONSTANT(ATTRHOSTDEPTH), VK_CONSTANT(ATTRSIZE), VK_CONSTANT(ATTRFUNCTION), VK_CONSTANT(ATTRUSERDATA),
    VK_CONSTANT(ATTRCOUNT), VK_CONSTANT(ATTRNOCLOSE), VK_CONSTANT(ATTRGROUP), VK_CONSTANT(ATTRMASKMODE),
    VK_CONSTANT(ATTRALPHAINTENSITY), VK_CONSTANT(ATTRRAWXPOS), VK_CONSTANT(ATTRRAWYPOS),
    VK_CONSTANT(ATTRRAWWIDTH), VK_CONSTANT(ATTRRAWHEIGHT),
    VK_TYPE(BGPIC), VK_TYPE(SAMPLE), VK_TYPE(BRUSH), VK_TYPE(ANIM), VK_TYPE(SNDMODULE), VK_TYPE(KEYDOWN),
    VK_TYPE(NOOBJECT), VK_TYPE(TEXTOBJECT), VK_TYPE(TEXTOUT), VK_TYPE(UNDO), VK_TYPE(PRINT), VK_TYPE(BRUSHPART),
    VK_TYPE(BGPICPART), VK_TYPE(BOX), VK_TYPE(CIRCLE), VK_TYPE(ELLIPSE), VK_TYPE(LINE), VK_TYPE(PLOT),
    VK_TYPE(MAINWINDOW), VK_TYPE(ANIMDISK), VK_TYPE(DISPLAY), VK_TYPE(LAYER), VK_TYPE(HIDEBRUSH),
    VK_TYPE(INSERTBRUSH), VK_TYPE(HIDELAYER), VK_TYPE(REMOVELAYER), VK_TYPE(POLYGON), VK_TYPE(MASK),
    VK_TYPE(NEXTFRAME), VK_TYPE(ALPHACHANNEL), VK_TYPE(ARC), VK_TYPE(SPRITE), VK_TYPE(MUSIC),
    VK_TYPE(NEXTFRAME2), VK_TYPE(CLIPREGION), VK_TYPE(POINTER), VK_TYPE(ASYNCDRAW), VK_TYPE(DOUBLEBUFFER),
    VK_TYPE(MEMORY), VK_TYPE(EVENTHANDLER), VK_TYPE(INTERVAL), VK_TYPE(TIMEOUT), VK_TYPE(FONT), VK_TYPE(FILE),
    VK_TYPE(DIRECTORY), VK_TYPE(BRUSH_VS_BOX), VK_TYPE(LAYER_VS_BOX), VK_TYPE(SPRITE_VS_BOX),
    VK_TYPE(VECTORPATH), VK_TYPE(SHAPE),
    {"CENTER", nullptr, kPosCenter}, {"LEFT", nullptr, kPosLeft}, {"RIGHT", nullptr, kPosRight},
    {"TOP", nullptr, kPosTop}, {"BOTTOM", nullptr, kPosBottom}, {"LEFTOUT", nullptr, kPosLeftOut},
    {"RIGHTOUT", nullptr, kPosRightOut}, {"TOPOUT", nullptr, kPosTopOut},
    {"BOTTOMOUT", nullptr, kPosBottomOut}, {"KEEPASPRAT", nullptr, KEEPASPRAT},
    {"IMAGETYPE_RASTER", nullptr, IMAGETYPE_RASTER},
    {nullptr, nullptr, 0}};
#undef VK_CONSTANT
#undef VK_TYPE

}  // namespace

static_assert(kLastAttributeType + 1 == kAttributeTypeSlots, "every type GetAttribute accepts has a slot");

const vkCommandDef* AttributeCommandTable() { return kAttributeCommands; }

void RegisterAttributeCommands(vkState* L) {
  vmRegisterFunctions(L, nullptr, kAttributeCommands, 0);
  vmRegisterConstants(L, kAttributeConstants);
}
