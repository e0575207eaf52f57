// Functions of a shared library that the program calls but does not link:
// the platform defines each one with C linkage, and its first call looks up
// the library's own (loading the library then) for this and every later call.
// The library's header declares the function, so the compiler holds every
// definition to the library's signature. Variadic functions cannot be
// forwarded; their va_list twins can.
#pragma once

#include <cstdlib>

#include "platform/linux/lazylibrary.h"

// Defines [name] as [ret] name [params], calling the function of that name in
// [library] with [args]. The lookup happens once, under the compiler's guard
// for local statics, so that any thread may make the first call.
#define VK_LAZY_FORWARD(library, ret, name, params, args)                                          \
  extern "C" ret name params {                                                                     \
    static const auto real = reinterpret_cast<decltype(&name)>(vkosLazySymbol(library, #name));    \
    return real args;                                                                              \
  }

// The same for a function that never returns (it ends in a long jump or an
// exception): [name] returns void.
#define VK_LAZY_FORWARD_NORETURN(library, name, params, args)                                      \
  extern "C" void name params {                                                                    \
    static const auto real = reinterpret_cast<decltype(&name)>(vkosLazySymbol(library, #name));    \
    real args;                                                                                     \
    std::abort();                                                                                  \
  }
