// Global allocation operators of liborq.so: plain malloc and free, a null
// result on failure instead of an exception. They are compiled into the
// shared library only, where the export list keeps them local, so they bind
// the library's own code and never replace the allocator of the process that
// loads it (a JVM, a C++ host). The library is built with -fcheck-new, so every new-expression
// tests the result before constructing into it.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size) { return std::malloc(size ? size : 1); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
