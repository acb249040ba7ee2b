#pragma once
// Working pictures hold a 128-byte colour record per pixel, so one conversion of a 512 x 512
// picture allocates and frees several 32 MB blocks. The C library hands blocks that large
// back to the system at once, and every conversion then pays for fresh pages again: most
// of its time for the quick modes. Programs that convert again and again call this once at
// start-up so freed blocks below a quarter of a gigabyte stay in the process for reuse.
void VeKeepPictureMemory();
