// Base64 with the RFC 4648 alphabet and '=' padding. Both functions return 0
// or -1; *dlen is the capacity of dst on entry and the size written on
// success. No allocation; the size check comes before any write.
#ifndef ENCODER_H
#define ENCODER_H

#include <cstddef>

// Writes 4 * ceil(slen / 3) characters and a NUL that is not counted.
// slen 0: returns 0, writes nothing, *dlen unchanged. Too small a buffer (or
// slen too large for the size arithmetic): -1 with *dlen set to the size
// needed, NUL included, when that size is representable.
int base64_encode(unsigned char *dst, int *dlen, const unsigned char *src, int slen);

// Accepts lines broken by CR LF or LF. Invalid text: -1, *dlen unchanged. Too
// small a buffer: -1 with *dlen set to the size needed. No counted character:
// 0 with *dlen unchanged. Writes no NUL.
int base64_decode(unsigned char *dst, int *dlen, const unsigned char *src, int slen);

#endif
