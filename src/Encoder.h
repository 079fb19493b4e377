// Base64 text (standard alphabet, "=" padding, no line breaks) of a block of bytes.
#pragma once

// *dlen in: room in dst counting the NUL; out: characters written (result 0), or the room
// needed when it was too small (result -1, dst untouched). slen 0 returns 0 and changes nothing.
int base64_encode(unsigned char *dst, int *dlen, const unsigned char *src, int slen);
