// A write-filter library for checking what reaches the library. It exports
// only four of the 17 functions; each writes its name and the hex units of
// its texts to the file named by $VORLEN_RECORD, and succeeds.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "wfapi/wfapi.h"

namespace {

WfStatus Record(const char* function, const WfChar* volume = nullptr, const WfChar* path = nullptr) {
  const char* file = std::getenv("VORLEN_RECORD");
  std::FILE* out = file != nullptr ? std::fopen(file, "ab") : nullptr;
  if (out == nullptr) return 0;
  std::fputs(function, out);
  for (const WfChar* text : {volume, path}) {
    if (text == nullptr) continue;
    std::fputc(' ', out);
    for (const WfChar* p = text; *p != 0; ++p) std::fprintf(out, "%04X", static_cast<unsigned>(*p));
  }
  std::fputc('\n', out);
  std::fclose(out);
  return 0;
}

}  // namespace

extern "C" {
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfEnableFilter() { return Record("FbwfEnableFilter"); }
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfProtectVolume(const WfChar* volume) {
  return Record("FbwfProtectVolume", volume);
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfAddExclusion(const WfChar* volume, const WfChar* path) {
  return Record("FbwfAddExclusion", volume, path);
}
WFAPI_EXPORT WfStatus WFAPI_CALL FbwfRestoreFile(const WfChar* volume, const WfChar* path) {
  return Record("FbwfRestoreFile", volume, path);
}
}
