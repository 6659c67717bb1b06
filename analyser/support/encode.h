/* The number code of the analyser: a self-delimiting encoding of unsigned
 * 32-bit numbers into bytes that are never 0.  It is the form of every place
 * key, transition-instance key and state string, of the graph's node
 * contents and of the numbers in the net compiler's table file.
 *
 * A value v < 128 is the one byte v + 1 (1 .. 128).  A larger value is a
 * lead byte 130 + k followed by its k 7-bit groups (k = 2 .. 5), least
 * significant first, each as group + 1.  So no byte is 0, and the bytes 129,
 * 130 and 131 never begin a number: they serve as markers.
 *
 * Signed values (tuple fields, variable values, tester values) are mapped to
 * codes first: 0 .. 15 stay, -1 .. -256 become 16 .. 271 (15 - v), every
 * other v becomes v + 256, all in 32-bit unsigned arithmetic; SgnValue
 * inverts the mapping. */
#ifndef ENCODE_H
#define ENCODE_H

#include <stdint.h>

#include "absolute.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Markers: the end of a place's entries in a state string; a count follows
 * (as count - 2); an explicit arity follows. */
#define NUM_END_PLACE 129
#define NUM_COUNT 130
#define NUM_ARITY 131

/* The bytes the code of value takes: 1 .. 6. */
static inline unsigned NumLen(uint32_t value)
{
    unsigned groups = 1;
    if (value < 128)
        return 1;
    while ((value >>= 7) != 0)
        groups++;
    return groups + 1;
}

/* Writes the code of value at buffer; returns the position after it. */
static inline unsigned char *NumPut(uint32_t value, unsigned char *buffer)
{
    unsigned char *lead = buffer++;
    if (value < 128) {
        *lead = (unsigned char) (value + 1);
        return buffer;
    }
    do {
        *buffer++ = (unsigned char) ((value & 0x7F) + 1);
        value >>= 7;
    } while (value != 0);
    *lead = (unsigned char) (130 + (buffer - lead - 1));
    return buffer;
}

/* Reads a well-formed code at *cursor and moves *cursor past it. */
static inline uint32_t NumGet(const unsigned char **cursor)
{
    const unsigned char *p = *cursor;
    uint32_t value = 0;
    unsigned k;
    if (*p <= 128) {
        *cursor = p + 1;
        return (uint32_t) (*p - 1);
    }
    k = (unsigned) (*p - 130);
    *cursor = p + k + 1;
    for (; k > 0; k--)
        value = (value << 7) | (uint32_t) (p[k] - 1);
    return value;
}

/* The checked reader of untrusted bytes: reads one code from *cursor before
 * end into *value; returns 0 (and moves nothing) when the bytes there are
 * not a well-formed code of a 32-bit number. */
int NumScan(const unsigned char **cursor, const unsigned char *end, uint32_t *value);

/* The code of a signed value, and back. */
static inline uint32_t SgnCode(DOMAIN value)
{
    uint32_t v = (uint32_t) value;
    if (v < 16)
        return v;
    if (v >= (uint32_t) -256)
        return 15u - v;
    return v + 256u;
}

static inline DOMAIN SgnValue(uint32_t code)
{
    if (code < 16)
        return (DOMAIN) code;
    if (code < 272)
        return (DOMAIN) (15u - code);
    return (DOMAIN) (code - 256u);
}

#ifdef __cplusplus
}
#endif

#endif
