#include "VeMemory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void VeKeepPictureMemory() {
#if defined(__GLIBC__)
  // Blocks up to 256 MB come from the heap; up to 512 MB of free heap top is kept. One
  // arena for every thread: the conversions run on threads of their own, and the heaps of
  // extra arenas would hand their pages back whenever a picture is freed.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_ARENA_MAX, 1);
#endif
}
