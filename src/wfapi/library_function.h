// Any function of the list in wfapi.h, called through the library loaded by
// name when the call is made: 126 when the library can't be loaded, 127 when
// it lacks the function. Nothing is kept between calls.
#pragma once

#include <cstdio>

#include "wfapi/dynamic_library.h"
#include "wfapi/stack_call.h"
#include "wfapi/wfapi.h"

template <typename Function>
struct LibraryFunction {
  WfFunction function;
  bool names_missing_library = false;  // on standard error

  template <typename... Args>
  WfStatus operator()(Args... args) const {
    const DynamicLibrary library = DynamicLibrary::OpenWriteFilter();
    if (!library.IsOpen()) {
      if (names_missing_library) DynamicLibrary::NameMissing(stderr);
      return kWfModuleNotFound;
    }
    const AnyFunction found = library.Find(NameOf(function).data());
    if (found == nullptr) return kWfProcedureNotFound;
    return CallLibrary<Function>(found, args...);
  }
};

// The declarations in wfapi.h give each function's exact type and its place.
#define WF_LIBRARY_FUNCTION(function) LibraryFunction<decltype(&::function)>{WfFunction::function}
// The same, naming on standard error a library that can't be loaded.
#define WF_LIBRARY_FUNCTION_NAMED(function) LibraryFunction<decltype(&::function)>{WfFunction::function, true}
