// Vector shapes shown while layers are on: the draw library hands each
// rendered box, circle, ellipse, line, polygon or arc to the layers as a
// layer that keeps the shape's record, so that the layer is rendered again
// from the shape itself, in place or through a transformation, instead of
// from its pixels.
#pragma once

#include <cstdint>

#include "layers/layers.h"

struct vkState;

// Lets the draw library's shapes become layers of the current picture.
void RegisterShapeLayers(vkState* L);

// Whether [type] is one of the shape layer types.
bool IsShapeLayerType(int32_t type);

// Renders the shape of [layer] again from [source] (its record as inserted,
// possibly moved) with the layer's transform and [options], as a layer at
// [position] that replaces the one standing there when [flags] has
// kAddReplace. 0 or an error code (1055 for a radius below 1 or a negative
// angle; an arc whose ends meet draws nothing); *[drawn] tells whether a
// layer was made.
int32_t RedrawShapeLayer(vkState* L, const vkLayer* layer, int32_t position, const vkLayerData& source,
                         const vkLayerOptions& options, uint32_t flags,
                         bool* drawn);

// The shape record a vector layer's data record keeps, or null when it
// keeps none (for the style keys of a shape).
struct vkShapeRecord;
vkShapeRecord* ShapeLayerRecord(vkLayerData* data);
// A new data record at (x, y) whose kind keeps [record], standing there.
vkLayerDataPtr NewShapeLayerData(const vkShapeRecord& record, int32_t x, int32_t y);
