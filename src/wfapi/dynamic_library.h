// The platform's loader, behind one small seam.
#pragma once

#include <cstddef>
#include <cstdio>

using AnyFunction = void (*)();

class DynamicLibrary {
 public:
  // The write filter's library by its platform name: on Windows FBWFLIB.dll
  // from the application's and the system's folders only (never the current
  // folder, see library_search.h); elsewhere libfbwflib.so through the
  // loader's ordinary search.
  // It stays loaded until the process ends: it may carry its own C++
  // runtime, whose exit-time cleanup must still find its code.
  static DynamicLibrary OpenWriteFilter();

  // Writes one line naming the file looked for and the folders it was looked
  // in, for a library that could not be loaded.
  static void NameMissing(std::FILE* out);
  // The same words, without the program's name, into `text` (cut to `size`).
  static void DescribeMissing(char* text, std::size_t size);

  bool IsOpen() const { return handle_ != nullptr; }
  AnyFunction Find(const char* name) const;  // nullptr when absent

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};
