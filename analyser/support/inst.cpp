// The number code's checked reader, the instance codec and the table
// readers.
#include "encode.h"

extern "C" {

int NumScan(const unsigned char** cursor, const unsigned char* end, uint32_t* value) {
    const unsigned char* p = *cursor;
    if (p >= end || *p == 0)
        return 0;
    if (*p <= 128) {
        *value = static_cast<uint32_t>(*p - 1);
        *cursor = p + 1;
        return 1;
    }
    // A lead byte 132 .. 135 followed by its groups, the most significant
    // one non-zero (so each number has one code) and within 32 bits.
    if (*p < 132 || *p > 135)
        return 0;
    unsigned k = *p - 130u;
    if (end - p <= static_cast<long>(k))
        return 0;
    for (unsigned i = 1; i <= k; ++i)
        if (p[i] == 0 || p[i] > 128)
            return 0;
    if (p[k] == 1 || (k == 5 && p[5] - 1 > 0xF))
        return 0;
    *cursor = p;
    *value = NumGet(cursor);
    return 1;
}

}  // extern "C"
