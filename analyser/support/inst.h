/* The instance codec: place keys, transition-instance keys and state strings
 * in the number code (encode.h), the orders of the engine's sets over them,
 * the let sets of the transitions, and the run-time copies of the tables the
 * net compiler writes into <net>.dat, with the names used in outputs.
 *
 * Place key: number(place), [131 number(arity)] when the arity differs from
 *   the place's profile, each field as a signed value, NUL.
 * Transition-instance key: number(transition), its _ingNofVars values as
 *   signed values, number(class) only when there is more than one class,
 *   NUL.
 * State string: per place in index order, per multituple in list order:
 *   [131 number(arity)] when it differs from the profile; for a non-zero
 *   arity the fields as signed values and, when the count is not 1,
 *   130 number(count - 2); for arity 0 number(count - 1); then 129 after the
 *   place's entries; NUL after the last place.
 *
 * The encoders write into a caller's growable buffer: when the encoded
 * length is at least *size, the buffer is replaced by a zero-filled one of
 * length + length / 2 + 1 bytes.  They return the length without the NUL.
 *
 * The readers check the table file as they go: a record, number or index
 * that does not fit its record, section or table ends the process with
 * "\n<reader>: malformed table file: <what>\n". */
#ifndef INST_H
#define INST_H

#include <stdint.h>
#include <stdio.h>

#include "absolute.h"
#include "avlset.h"
#include "encode.h"
#include "fileaux.h"
#include "mark.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The tables (the place count _magNofPlaces is in mark.h). */
extern uint32_t *_magProfile;    /* arity per place */
extern uint32_t _ingNofClasses;  /* precedence classes, at least 1 */
extern uint32_t _ingNofTrans;    /* transitions */
extern uint32_t *_ingNofVars;    /* values per transition instance */
extern uint32_t *_ingNofFd;      /* leading values FdEqual compares */
extern AVLSET **_ingRanges;      /* let set per transition (byte strings), or null */
extern uint32_t _monPlInd;       /* the tester place, 0xFFFFFFFF for none */
/* The Büchi successor lists, one zero-terminated array per record of the
 * table file's Büchi part (state s at index s - 1, the initial states last),
 * and the label word of each automaton state (null for none). */
extern DOMAIN **_x_;
extern uint32_t *_z_;
/* Where the initial-marking section starts in the table file, noted by
 * InsReadTables so that a second reader can seek there. */
extern unsigned long insMarkingOffset;

/* Flags of the engine main, defined here so that the library links alone.
 * _onTheFly: bit 1 a tester place exists; 2, 4, 8, 16 the reject,
 * deadlock, livelock and infinite-path conditions found; 128 a Büchi part.
 * _zel, _vos: ZEL and VOS output requested (GetPlaNames reads them). */
extern unsigned _onTheFly;
extern int _zel;
extern int _vos;

/* Keys and state strings. */
int InsEncode(int trIndex, unsigned cls, DOMAIN *values, unsigned char **buffer, unsigned *size);
/* A new array of the transition's values (null when it has none); *cls is
 * 0 with a single class. */
DOMAIN *InsDecode(unsigned *trIndex, unsigned *cls, unsigned char *key);
int TupEncode(int place, TUPLE *tuple, unsigned char **buffer, unsigned *size);
/* Fills the caller's record: the arity and a new value array. */
void TupDecode(unsigned *place, unsigned char *key, TUPLE *tuple);
int StaEncode(STATE *state, unsigned char **buffer, unsigned *size);
/* A new marking per place into the caller's array, entries in string
 * order. */
void StaDecode(unsigned char *string, STATE *state);

/* Orders: -1, 0 or 1.  BTupComp: place index, arity, then the field values
 * as unsigned numbers.  InsComp: transition index, then the values; the
 * class is not compared.  FdEqual: 1 when both transitions have the same fd
 * count n and the first n values agree. */
int BTupComp(const unsigned char *a, const unsigned char *b);
int InsComp(const unsigned char *a, const unsigned char *b);
int FdEqual(const unsigned char *a, const unsigned char *b);

/* Let sets.  InRange: 1 when the count values form an element of the
 * transition's let set.  TravRange: calls function once per element, in
 * the set's order, with the element's values in aVisComb (which holds
 * nVisComb values).  VisComb is its step over one element: an element of
 * another number of values is an internal error, and nothing is written
 * past aVisComb.  A count of 0 or a transition without let set is an
 * internal error. */
int InRange(int trIndex, unsigned count, DOMAIN *values, unsigned char **buffer, unsigned *size);
void TravRange(int trIndex, unsigned nVisComb, DOMAIN *aVisComb, void (*function)(void));
int VisComb(void *element);

/* The table readers.  InsReadTables starts after the file's first word and
 * reads the head, the place profile, the variable and fd counts and the let
 * sets (kept when withRanges, else read past), leaving the file at the
 * initial-marking section.  InsReadMarking then reads the initial marking
 * into a new state and, when _onTheFly is set, the tester records (into
 * monitors) and the Büchi part. */
void InsReadTables(BINARYFILE file, int withRanges);
STATE *InsReadMarking(BINARYFILE file);
/* The name part (the file positioned at it, word 0 of the file gives its
 * offset).  GetZelNames reads the transition and variable names, the
 * enumeration names and the class names; GetPlaNames then reads the place
 * names (reading past the others itself when neither _zel nor _vos is
 * set, keeping the enumeration names). */
void GetZelNames(BINARYFILE file);
void GetPlaNames(BINARYFILE file);
/* Free what the readers read; each name table is freed once whatever the
 * order of the calls. */
void DelZelNames(int withEnums);
void DelPlaNames(void);
/* Empty tables without a file: nPlaces places of arity 0, one class,
 * nTrans transitions without values. */
void InsAlloc(unsigned nPlaces, unsigned nTrans);

/* Text forms.  InsOutput: "%lu" and '"' (VOS form) or ' ' (ZEL form), the
 * transition's name, per variable (in name order) separator, name,
 * separator, value ('.' in VOS form, '$' in ZEL form), with more than one
 * class separator "prec" separator class, then "\"0@0\n" or "\n".
 * PlKeyOut: the place's name and, for a non-zero arity, ".v1.v2" (VOS form)
 * or " <.v1, v2.>".  A value is its enumeration name or "%lu". */
void InsOutput(unsigned long number, unsigned char *key, FILE *stream, int vos);
void PlKeyOut(unsigned char *key, FILE *stream, int vos);
/* Progress: a dot on _out every tenth call, a newline after 25 dots. */
void DotOutput(void);

#ifdef __cplusplus
}
#endif

#endif
