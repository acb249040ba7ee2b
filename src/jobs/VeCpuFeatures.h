#pragma once
// What the processor offers beyond the build's baseline, for code that picks a faster path
// at run time.

// Whether the processor runs AVX2 instructions (false off x86).
bool VeHasAvx2();
// Whether it runs the AVX-512 foundation instructions (false off x86).
bool VeHasAvx512();
