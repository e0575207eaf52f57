// The list sort of the system library's Sort, shared with the dos library's
// directory lists: a quicksort over the items 0..count-1 of an array table,
// ordered by a script function or by the engine's less-than with strings
// compared without regard to case. An order function that contradicts itself
// is caught when a scan runs past the part being sorted.
#pragma once

#include <cstdint>

#include "base/errorcodes.h"

struct vkState;

// The number of consecutive non-nil items from index 0 of the table at
// [index]; with [stopAtEmptyString] also up to the first empty string (the
// terminator that directory and file lists end with).
int CountArrayItems(vkState* L, int index, bool stopAtEmptyString);

// Sorts the items [low]..[high] of the table at [index] in place. [order] is
// the stack index of the order function (called with a, b: a number other
// than 0 puts a before b), or 0 for the default order. Returns 0 or 1362;
// errors of the order function or of comparing unlike values are raised.
uint32_t SortArrayTable(vkState* L, int index, int order, int low, int high);
