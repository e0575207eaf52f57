// What the per-pixel and masked effects share: the composed blit that lays a
// rectangle of a picture, through its planes, over the old picture and
// shows it (or draws it into the layer's buffers in real-time layer mode),
// and the alpha plane a layer fades through, made from the source's planes.
#pragma once

#include <cstdint>

#include "effects/fxengine.h"
#include "effects/fxgeometry.h"

// Draws the rectangle [r] of [src] (a picture of the effect's size) through
// [mask] or [alpha] over the old picture and shows it at the same place of
// the effect. [r] is cut to the picture first. Outside real-time layer mode
// the rectangle is composed in [scratch], which grows to hold it; in
// real-time layer mode it goes into the layer's buffers with [layerFlags]
// (FXBlit's), not shown while replaying.
void FXComposedBlit(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, vkFXRect r,
                    vkBitMapPtr& scratch, uint32_t layerFlags);

// A new alpha plane of the source's size from the source's mask or alpha,
// or fully set when it has neither; null without memory.
vkPlanePtr FXSourceAlphaPlane(const vkFXState& s);

// [r] cut to the effect's picture.
vkFXRect FXCutToPicture(const vkFXState& s, vkFXRect r);

// The effect's rectangle as before its first frame: in real-time layer
// mode the layer's buffers cleared (hiding: the layer whole again), not
// shown; on the display the old picture.
void FXClearDestination(vkFXState& s);

// The layer's on-screen mask plane in real-time layer mode, or null.
vkPlane* FXLayerMaskPlane(vkFXState& s);

// A step from a named speed (fast, normal, slow), any other value kept
// within [least]..[most].
int32_t FXNamedStep(int32_t speed, int32_t fast, int32_t normal, int32_t slow, int32_t least, int32_t most);
