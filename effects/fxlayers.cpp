// Layer work of the effect engine. Until the layers library serves effects
// every layer operation is refused before a run starts, so these steps find
// no layer and do nothing.
#include "effects/fxlayers.h"

#include "base/errorcodes.h"

bool FXLayerMadeFrom(const vkLayer*, int32_t, vkObjectId) { return false; }

bool FXLayersAvailable(vkGraphicsState&) { return false; }

int32_t FXAddObjectLayer(vkFXState&) { return kErrWrongUsage; }

int32_t FXPrepareLayer(vkFXState&) { return kErrLayerOutOfRange; }

void FXHideLayerWhile(vkFXState&, bool, const std::function<void()>& work) { work(); }

void FXShowLayerForStep(vkFXState&) {}

void FXFollowLayer(vkFXState&) {}

void FXDropLayerBuffers(vkFXState& s) { s.layerBuffersMade = false; }

void FXFinishLayer(vkFXState&) {}

void FXLeaveLayer(vkFXState&, int32_t) {}

void FXRepairLayerAfterResize(vkFXState&) {}

intptr_t FXLayerMessage(vkFXState&, int32_t, void*) { return 0; }

void FXRefreshLayer(vkFXState&) {}

void FXBlit(vkFXState&, const vkBitMap*, const vkPlane*, const vkPlane*, int32_t, int32_t, int32_t, int32_t,
            uint32_t) {}

void FXBlitTo(vkFXState&, const vkBitMap*, const vkPlane*, const vkPlane*, int32_t, int32_t, int32_t, int32_t,
              int32_t, int32_t, int32_t, int32_t, uint32_t) {}

void FXRefreshRect(vkFXState&, int32_t, int32_t, int32_t, int32_t, uint32_t) {}

void FXRestoreLayerBuffers(vkFXState&) {}

void FXClearLayerBuffers(vkFXState&) {}

vkBitMap* FXLayerBitMap(vkFXState&) { return nullptr; }

vkPlane* FXLayerAlpha(vkFXState&) { return nullptr; }
