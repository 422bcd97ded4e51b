// How the C library is to treat the memory a job frees.
#pragma once

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace model_unpack {

// Every job takes file buffers of up to 256 KiB and gives them back when it ends; the next job
// takes the same again. Kept by the C library for reuse, they cost nothing the second time;
// mapped anew (glibc maps blocks this large, or hands them back to the system once the job has
// freed them), every page costs a fault again, job after job.
inline void keep_freed_memory_for_reuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace model_unpack
