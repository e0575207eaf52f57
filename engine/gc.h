// The collector: stop-the-world mark and sweep over every engine object,
// with weak tables ("__mode") and userdata finalisers ("__gc"). It runs at
// the check points (vmCheckGC) when the bytes in use reach the threshold, or
// at every check point in stress mode (VK_GC_STRESS=1 when the state opens).
#pragma once

#include <cstddef>

#include "engine/state.h"

void vmCollectGarbage(vkState* L);

// Whether a check point collects now.
inline bool vmGCDue(const vkState* L) {
  const vkGlobalState* g = L->G;
  return g->nblocks >= g->GCthreshold || g->gcStress;
}

inline void vmCheckGC(vkState* L) {
  if (vmGCDue(L)) vmCollectGarbage(L);
}

// Moves the unreached userdata with a "__gc" function to the finalisation
// list ([all]: every userdata counts as unreached); returns their bytes.
size_t vmSeparateUserdata(vkState* L, bool all);
void vmCallAllFinalizers(vkState* L);
// Frees every unreached object ([all]: every object) and clears the marks.
void vmSweep(vkState* L, bool all);
// Frees one object by its tag.
void vmFreeObject(vkState* L, vkGCObject* o);
