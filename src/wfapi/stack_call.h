// A call into the write filter's library that leaves the stack as it was,
// whichever calling convention the library was built with. The filter's
// documentation writes WINAPI on some prototypes and not on others; on x86
// a library that cleans up differently from what vorlen declares would
// otherwise unbalance the stack at every call.
#pragma once

#include <cstdint>
#include <type_traits>

#include "wfapi/dynamic_library.h"
#include "wfapi/wfapi.h"

#if defined(__GNUC__) && defined(__i386__)
#define WFAPI_KEEPS_THE_STACK 1

// Pushes `count` words, the last first, calls `function`, and puts the stack
// pointer back from a register that both conventions preserve.
WfStatus CallKeepingTheStack(AnyFunction function, const std::uintptr_t* words, unsigned count);

template <typename Argument>
std::uintptr_t AsWord(Argument argument) {
  static_assert(sizeof(Argument) <= sizeof(std::uintptr_t), "every argument is one word on x86");
  if constexpr (std::is_pointer_v<Argument>) {
    return reinterpret_cast<std::uintptr_t>(argument);
  } else {
    return static_cast<std::uintptr_t>(argument);
  }
}
#endif

// Calls `found`, whose type is `Function`, with `args`.
template <typename Function, typename... Args>
WfStatus CallLibrary(AnyFunction found, Args... args) {
#ifdef WFAPI_KEEPS_THE_STACK
  const std::uintptr_t words[] = {AsWord(args)..., 0};
  return CallKeepingTheStack(found, words, sizeof...(Args));
#else
  return reinterpret_cast<Function>(found)(args...);
#endif
}
