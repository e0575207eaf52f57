// Texts printed while layers are on become layers: the text library hands
// its drawing to the hook registered here.
#pragma once

struct vkState;

// Lets Print and TextOut put their texts on the current picture as layers.
void RegisterTextLayers(vkState* L);
