// The library's 30 functions behind one interface, made from the one list in
// wfapi.h: the loaded library behind it in vorlenctl, a recording fake in
// its tests.
#pragma once

#include <optional>

#include "wfapi/dynamic_library.h"
#include "wfapi/stack_call.h"
#include "wfapi/wfapi.h"

class FilterLibrary {
 public:
  virtual ~FilterLibrary() = default;
#define WFAPI_VIRTUAL(name, parameters, arguments) virtual WfStatus name parameters = 0;
  WFAPI_FUNCTIONS(WFAPI_VIRTUAL)
#undef WFAPI_VIRTUAL
};

// The device's library, loaded by name at the first call and kept for the
// process (a registered notification lives as long as the library does):
// 126 while it can't be loaded, 127 for a function it lacks.
class LoadedLibrary final : public FilterLibrary {
 public:
#define WFAPI_FORWARD(name, parameters, arguments) \
  WfStatus name parameters override { return Caller<decltype(&::name)>{*this, WfFunction::name} arguments; }
  WFAPI_FUNCTIONS(WFAPI_FORWARD)
#undef WFAPI_FORWARD

 private:
  template <typename Function>
  struct Caller {
    LoadedLibrary& library;
    WfFunction function;
    template <typename... Args>
    WfStatus operator()(Args... args) const {
      const AnyFunction found = library.Find(function);
      if (found == nullptr) return library.Loaded() ? kWfProcedureNotFound : kWfModuleNotFound;
      return CallLibrary<Function>(found, args...);
    }
  };
  bool Loaded();
  AnyFunction Find(WfFunction function);

  std::optional<DynamicLibrary> library_;
  AnyFunction found_[kWfFunctionCount] = {};
  bool looked_[kWfFunctionCount] = {};
};
