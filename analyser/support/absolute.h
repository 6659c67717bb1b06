/* Base types shared by the analyser's libraries, the net compiler and the
 * code it generates. */
#ifndef ABSOLUTE_H
#define ABSOLUTE_H

#include <stdint.h>

/* A truth value.  It is an int so that functions returning BOOL can be
 * called through the int-returning element operations of the containers. */
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VOID void

/* The value of one tuple field and of a compiled expression.  Fields are
 * 32-bit words compared as unsigned numbers; negative values of the net
 * description are stored in two's complement. */
typedef uint32_t DOMAIN;
#define MINDOMAIN ((DOMAIN) 0)

#if defined(__GNUC__)
#define ANA_NORETURN __attribute__((noreturn))
#else
#define ANA_NORETURN
#endif

#endif
