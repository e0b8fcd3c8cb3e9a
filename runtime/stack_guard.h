// The stack protector's guard, made when the DLL loads, and the end of a
// process whose stack was found smashed (runtime/stack_guard.cpp).
#pragma once

#include <windows.h>

#include <stdint.h>

// For the functions that must not be protected themselves: those that set
// the guard, and the check.
#if defined(__clang__) || defined(__GNUC__)
#define VLX_UNGUARDED __attribute__((no_stack_protector))
#else
#define VLX_UNGUARDED __declspec(safebuffers)
#endif

// A guard value for this process: from the system's random generator, or
// from what varies between processes when the generator fails; never 0.
uintptr_t NewStackGuard();

// Ends the process at once with STATUS_STACK_BUFFER_OVERRUN.
[[noreturn]] void StackSmashed();
