#include "tez/tez_hash.h"

uint32_t TezHash(const char* aText)
{
    // Sums wrap at 32 bits; the modulo is taken once, at the end.
    uint32_t a = 1;
    uint32_t s = 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(aText); *c; ++c)
    {
        a += *c;
        s += a;
    }
    return (a % 65521u) | ((s % 65521u) << 16);
}
