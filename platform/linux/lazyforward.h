// Functions of a shared library that the program calls but does not link:
// the platform defines each one with C linkage, and its first call looks up
// the library's own (loading the library then) for this and every later call.
// The library's header declares the function, so the compiler holds every
// definition to the library's signature. Variadic functions cannot be
// forwarded; their va_list twins can.
#pragma once

#include "platform/linux/lazylibrary.h"

// Defines [name] as [ret] name [params], calling the function of that name in
// [library] with [args]. The lookup happens once, under the compiler's guard
// for local statics, so that any thread may make the first call.
#define VK_LAZY_FORWARD(library, ret, name, params, args)                                          \
  extern "C" ret name params {                                                                     \
    static const auto real = reinterpret_cast<decltype(&name)>(vkosLazySymbol(library, #name));    \
    return real args;                                                                              \
  }
