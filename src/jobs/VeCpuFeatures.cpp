#include "VeCpuFeatures.h"

// glibc has asked the processor already when the program starts; libgcc's own probe would
// ask again, through cpuid instructions that are slow in a virtual machine, in every process.
// clang cannot read glibc's header as C++, so it takes the compiler's probe.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__) &&                           \
    __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
bool VeHasAvx2() {
  return CPU_FEATURE_ACTIVE(AVX2);
}
bool VeHasAvx512() {
  return CPU_FEATURE_ACTIVE(AVX512F);
}
#elif defined(__x86_64__) || defined(__i386__)
bool VeHasAvx2() {
  return __builtin_cpu_supports("avx2");
}
bool VeHasAvx512() {
  return __builtin_cpu_supports("avx512f");
}
#else
bool VeHasAvx2() {
  return false;
}
bool VeHasAvx512() {
  return false;
}
#endif
