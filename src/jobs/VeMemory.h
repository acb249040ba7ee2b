#pragma once
// Working pictures hold a 32-byte record per pixel and further buffers of their size, so one
// conversion of a 1024 x 1024 picture allocates and frees several 32 MB blocks. The C library
// hands blocks that large
// back to the system at once, and every conversion then pays for fresh pages again: most
// of its time for the quick modes. Programs that convert again and again call this once at
// start-up so freed blocks below a quarter of a gigabyte stay in the process for reuse.
void VeKeepPictureMemory();
