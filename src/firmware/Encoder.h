// Base64 with the RFC 4648 alphabet and '=' padding. Both functions return 0
// or -1; *dlen is the capacity of dst on entry and the size written on
// success. No allocation; the size check comes before any write.
#ifndef ENCODER_H
#define ENCODER_H

#include <cstddef>

// Writes 4 * ceil(slen / 3) characters and a NUL that is not counted.
// slen 0: returns 0, writes nothing, *dlen unchanged. Too small a buffer: -1
// with *dlen set to the size needed, NUL included. A negative slen, or one of
// 2^28 or more (whose size would overflow an int), is refused with -1 and
// *dlen unchanged.
int base64_encode(unsigned char *dst, int *dlen, const unsigned char *src, int slen);

// Accepts lines broken by CR LF or LF; at most two '=', and no alphabet
// character after one. Invalid text or a negative slen: -1, *dlen unchanged.
// Too small a buffer: -1 with *dlen set to the size needed, ceil(6n / 8) for
// n counted characters ('=' included). No counted character: 0 with *dlen
// unchanged. An incomplete last group of four yields no bytes. Writes no NUL.
int base64_decode(unsigned char *dst, int *dlen, const unsigned char *src, int slen);

#endif
