// Any function of the list in wfapi.h, called through the library loaded by
// name when the call is made: 126 when the library can't be loaded, 127 when
// it lacks the function. Nothing is kept between calls.
#pragma once

#include "wfapi/dynamic_library.h"
#include "wfapi/stack_call.h"
#include "wfapi/wfapi.h"

template <typename Function>
struct LibraryFunction {
  WfFunction function;

  template <typename... Args>
  WfStatus operator()(Args... args) const {
    const DynamicLibrary library = DynamicLibrary::OpenWriteFilter();
    if (!library.IsOpen()) return kWfModuleNotFound;
    const AnyFunction found = library.Find(NameOf(function).data());
    if (found == nullptr) return kWfProcedureNotFound;
    return CallLibrary<Function>(found, args...);
  }
};

// The declarations in wfapi.h give each function's exact type and its place.
#define WF_LIBRARY_FUNCTION(function) LibraryFunction<decltype(&::function)>{WfFunction::function}
