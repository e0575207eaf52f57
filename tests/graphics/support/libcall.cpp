// The command-call support of the runtime tests, built into this folder's
// binary too.
#include "../../runtime/support/libcall.cpp"
