#include "Encoder.h"

static const unsigned char base64_enc_map[64] = {
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V',
    'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r',
    's', 't', 'u', 'v', 'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};

// 64 marks '=', 127 marks a character outside the alphabet.
static const unsigned char base64_dec_map[128] = {
    127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127,
    127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 62,
    127, 127, 127, 63,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  127, 127, 127, 64,  127, 127, 127, 0,
    1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,
    23,  24,  25,  127, 127, 127, 127, 127, 127, 26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,
    39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  127, 127, 127, 127, 127};

#define BASE64_PAD_MARK 64
#define BASE64_INVALID_MARK 127
// From 2^28 on, the 8 * slen of the size arithmetic no longer fits an int.
#define BASE64_MAX_ENCODE_LENGTH ((1 << 28) - 1)

int base64_encode(unsigned char *dst, int *dlen, const unsigned char *src, int slen)
{
    if (slen == 0) {
        return 0;
    }
    if (slen < 0 || slen > BASE64_MAX_ENCODE_LENGTH) {
        return -1;
    }

    int n = (8 * slen) / 6;
    switch ((8 * slen) - (6 * n)) {
    case 2:
        n += 3;
        break;
    case 4:
        n += 2;
        break;
    default:
        break;
    }
    if (*dlen < n + 1) {
        *dlen = n + 1;
        return -1;
    }

    unsigned char *p = dst;
    int i = 0;
    for (; i < (slen / 3) * 3; i += 3) {
        const int C1 = src[i];
        const int C2 = src[i + 1];
        const int C3 = src[i + 2];
        *p++ = base64_enc_map[C1 >> 2];
        *p++ = base64_enc_map[((C1 & 3) << 4) + (C2 >> 4)];
        *p++ = base64_enc_map[((C2 & 15) << 2) + (C3 >> 6)];
        *p++ = base64_enc_map[C3 & 63];
    }
    if (i < slen) {
        const int C1 = src[i];
        const int C2 = (i + 1 < slen) ? src[i + 1] : 0;
        *p++ = base64_enc_map[C1 >> 2];
        *p++ = base64_enc_map[((C1 & 3) << 4) + (C2 >> 4)];
        *p++ = (i + 1 < slen) ? base64_enc_map[(C2 & 15) << 2] : '=';
        *p++ = '=';
    }
    *p = 0;
    *dlen = static_cast<int>(p - dst);
    return 0;
}

int base64_decode(unsigned char *dst, int *dlen, const unsigned char *src, int slen)
{
    if (slen < 0) {
        return -1;
    }

    int i = 0;
    int j = 0;
    int n = 0;
    for (; i < slen; ++i) {
        if ((slen - i) >= 2 && src[i] == '\r' && src[i + 1] == '\n') {
            continue;
        }
        if (src[i] == '\n') {
            continue;
        }
        if (src[i] == '=' && ++j > 2) {
            return -1;
        }
        if (src[i] > 127 || base64_dec_map[src[i]] == BASE64_INVALID_MARK) {
            return -1;
        }
        if (base64_dec_map[src[i]] < BASE64_PAD_MARK && j != 0) {
            return -1;
        }
        ++n;
    }
    if (n == 0) {
        return 0;
    }

    const int needed = static_cast<int>((6LL * n + 7) >> 3);
    if (*dlen < needed) {
        *dlen = needed;
        return -1;
    }

    j = 3;
    unsigned int x = 0;
    int k = 0;
    unsigned char *p = dst;
    for (i = 0; i < slen; ++i) {
        if (src[i] == '\r' || src[i] == '\n') {
            continue;
        }
        if (base64_dec_map[src[i]] == BASE64_PAD_MARK) {
            --j;
        }
        x = (x << 6) | (base64_dec_map[src[i]] & 63);
        if (++k == 4) {
            k = 0;
            if (j > 0) {
                *p++ = static_cast<unsigned char>(x >> 16);
            }
            if (j > 1) {
                *p++ = static_cast<unsigned char>(x >> 8);
            }
            if (j > 2) {
                *p++ = static_cast<unsigned char>(x);
            }
        }
    }
    *dlen = static_cast<int>(p - dst);
    return 0;
}
