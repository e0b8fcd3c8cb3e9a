// The DLL carries no C++ runtime: nothing in it throws, allocates with new or
// asks for type information. The one reference left is the global delete
// that the deleting destructor of a class with a virtual destructor (RegUtil)
// names; it is never called, since such objects live on the stack. Defining
// it here keeps the runtime's version, and the runtime with it, out.
#include <stddef.h>
#include <stdlib.h>

void operator delete(void* memory) noexcept {
    free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    free(memory);
}
