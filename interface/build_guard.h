// Every build must do the same float and double arithmetic: no fast-math
// reassociation anywhere, or the printed digits differ between builds.
#pragma once

#if defined(__FAST_MATH__)
#error "Roomstat must not be compiled with -ffast-math: results must be bit-exact on every build"
#endif

#if (defined(__i386__) || defined(_M_IX86)) && !defined(__SSE2_MATH__) && !defined(_M_IX86_FP)
#error "32-bit x86 builds need -msse2 -mfpmath=sse so that doubles are not 80-bit x87 values"
#endif
