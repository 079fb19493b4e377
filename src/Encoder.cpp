#include "Encoder.h"

static const unsigned char base64_enc_map[64] = {
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
    'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
    'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
    'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};

// Room for the text and its NUL. Computed in 64 bits: slen * 8 overflows an int from
// 268,435,456 bytes on.
static long long roomNeeded(int slen)
{
    long long n = (long long)slen * 8 / 6;
    switch ((long long)slen * 8 - 6 * n) {
    case 2: n += 3; break;
    case 4: n += 2; break;
    default: break;
    }
    return n + 1;
}

int base64_encode(unsigned char *dst, int *dlen, const unsigned char *src, int slen)
{
    // A negative count has nothing to encode, like 0.
    if (slen <= 0) {
        return 0;
    }
    long long room = roomNeeded(slen);
    if (*dlen < room) {
        // Beyond an int the caller's buffer cannot be large enough anyway.
        *dlen = room > 0x7FFFFFFF ? 0x7FFFFFFF : (int)room;
        return -1;
    }
    unsigned char *p = dst;
    int i = 0;
    for (; slen - i >= 3; i += 3) {
        int C1 = src[i], C2 = src[i + 1], C3 = src[i + 2];
        *p++ = base64_enc_map[C1 >> 2];
        *p++ = base64_enc_map[((C1 & 3) << 4) + (C2 >> 4)];
        *p++ = base64_enc_map[((C2 & 15) << 2) + (C3 >> 6)];
        *p++ = base64_enc_map[C3 & 63];
    }
    if (i < slen) {
        int C1 = src[i];
        int C2 = (slen - i == 2) ? src[i + 1] : 0;
        *p++ = base64_enc_map[C1 >> 2];
        *p++ = base64_enc_map[((C1 & 3) << 4) + (C2 >> 4)];
        *p++ = (slen - i == 2) ? base64_enc_map[(C2 & 15) << 2] : '=';
        *p++ = '=';
    }
    *p = '\0';
    *dlen = (int)(p - dst);
    return 0;
}
