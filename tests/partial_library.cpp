// A write-filter library that exports only FbwfEnableFilter, for checking
// what vorlen does when the library lacks a function.
#include "wfapi/wfapi.h"

extern "C" WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableFilter() { return 0; }
