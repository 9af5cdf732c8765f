// The event a notification signals: on Windows an event's handle; elsewhere
// an eventfd descriptor passed as the handle. The library keeps an object of
// its own from registration on, so a handle the program closes, and whose
// number is then reused, is never signalled.
#pragma once

#include "wfapi/wfapi.h"

namespace wfsim {

// Only an event is an event: a file, a mutex, a pseudo-handle, a value too
// large for a descriptor is not.
bool IsValidEvent(void* event);
void SignalEvent(void* event);
// The library's own handle to the same event in `own`; 4 when the process
// has no descriptor or handle left for it, 8 when memory ran out.
WfStatus DuplicateEvent(void* event, void*& own);
void CloseEvent(void* owned);

// On Windows the library stays loaded while its watcher thread runs: the
// thread holds a reference and drops it as it ends. Elsewhere the library's
// unloading stops the thread (see notifications.cpp), and these do nothing.
#ifdef _WIN32
inline constexpr bool kThreadHoldsLibrary = true;
#else
inline constexpr bool kThreadHoldsLibrary = false;
#endif
void* HoldLibrary();
void ReleaseLibrary(void* held);
// Ends the calling thread, releasing the library as the very last step.
void EndThreadReleasing(void* held);

}  // namespace wfsim
