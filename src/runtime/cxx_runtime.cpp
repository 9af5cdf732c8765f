// The little of the C++ runtime the Windows programs use, on the C runtime
// DLL: allocation, and what the standard library calls where it would throw
// or where a check of its own fails. The programs are built without
// exceptions, and all of these end the run.
#ifdef _WIN32

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

void* operator new(std::size_t size) {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) std::abort();
  return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// What the standard library's containers call where they would throw.
namespace std {
const nothrow_t nothrow{};
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
// What a failed check of the library's own (_GLIBCXX_ASSERTIONS) calls.
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { std::abort(); }
// make_shared asks whether a type is its own tag; without RTTI only its address tells.
bool _Sp_make_shared_tag::_S_eq(const type_info&) noexcept { return false; }
}  // namespace std

#endif
