// Whether the processor's 16-byte vector instructions (SSE2) may be used.
// Every x86-64 processor has them; a 32-bit build has them when told so.
// Code that scans in blocks of 16 tests CONTACT_EXPORT_SSE2 and keeps a
// plain loop for other processors and for the bytes after the last block.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define CONTACT_EXPORT_SSE2 1
#endif
