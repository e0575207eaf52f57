// Texts printed while layers are on become layers (the text library hands
// its drawing to the hook registered here), and text objects shown while
// layers are on become layers that show the object itself. Both keep what
// is needed to lay the text out again.
#pragma once

#include <cstdint>

#include "graphics/displayoptions.h"
#include "layers/layers.h"

struct vkState;

// Lets Print and TextOut put their texts on the current picture as layers.
void RegisterTextLayers(vkState* L);

// Lays the text of a TEXTOUT or PRINT [layer] out again from [source] (its
// record as inserted, possibly moved) and shows it as a layer at
// [position] with [options] (kAddReplace in [flags]: in the place of the
// layer standing there). A text that was scaled or rotated before it
// became a layer keeps its pixels when [source] is the layer's own record.
// A text whose font was closed meanwhile is 1055. *[drawn] tells whether a
// layer was made. 0 or an error code.
int32_t RedrawTextLayer(vkState* L, const vkLayer* layer, int32_t position, const vkLayerData& source,
                        const vkLayerOptions& options, uint32_t flags, bool* drawn);

// The kind record of a layer that shows a text object: the object's
// planes come from its record, a freed object stays while the layer
// shows it.
vkLayerDataPtr NewTextObjectLayerData(vkState* L);

// The layout a printed text's data record keeps, or null when it keeps
// none (for the style keys of a text).
struct vkTextLayout;
vkTextLayout* TextLayerLayout(vkLayerData* data);
// A new data record at (x, y) whose kind keeps [layout], its text standing there.
vkLayerDataPtr NewTextLayerData(vkState* L, const vkTextLayout& layout, int32_t x, int32_t y);
