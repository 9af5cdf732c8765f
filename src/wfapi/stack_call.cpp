#include "wfapi/stack_call.h"

#ifdef WFAPI_KEEPS_THE_STACK

WfStatus CallKeepingTheStack(AnyFunction function, const std::uintptr_t* words, unsigned count) {
  WfStatus result;
  // EDI keeps the stack pointer: cdecl and stdcall callees both preserve it.
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%edi, %%esp"
      : "=a"(result), "+c"(count), "+d"(words)
      : "0"(function)
      : "edi", "memory", "cc");
  return result;
}

#endif
