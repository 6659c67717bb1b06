/* The file and key layer of the analyser: unbuffered binary files on raw
 * descriptors (read, write and seek failures end the process), in-memory
 * copies of files that fall back to direct access when they would overflow,
 * the element tools that let lists and AVL sets hold numbers, byte strings,
 * strings, references, monitor records, steps and paths, the path type of
 * traces, and large bit sets. */
#ifndef FILEAUX_H
#define FILEAUX_H

#include "absolute.h"
#include "avlset.h"
#include "dynam.h"
#include "radix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Binary files: a file descriptor.  Opening failures are reported (message,
 * errno line) and give -1 with errno cleared.  Reads and writes go in chunks
 * of at most 8192 bytes, repeat short transfers and retry after an
 * interrupting signal; end of file, an error or a failed seek end the
 * process with a message. */
typedef int BINARYFILE;

/* Read-write, created or truncated, mode 0666. */
BINARYFILE CreateUpdate(const char *name);
/* Write-only, created or truncated, mode 0666. */
BINARYFILE CreateWrite(const char *name);
/* Read-only; the failure message only when strict. */
BINARYFILE OpenRead(const char *name, int strict);
/* Read-write, not created. */
BINARYFILE OpenUpdate(const char *name);
/* close(); a failure is reported, not fatal.  Returns close's result. */
int OwnClose(BINARYFILE file);
void SeekAbs(BINARYFILE file, unsigned long pos);
/* Positions at the end; returns the file's length. */
unsigned long SeekEnd(BINARYFILE file);
/* Exactly cnt bytes; 0 moves nothing. */
void ReadBytes(void *buf, unsigned long cnt, BINARYFILE file);
void WriteBytes(const void *buf, unsigned long cnt, BINARYFILE file);

/* An in-memory copy of a file: len bytes of room, actLen bytes of valid
 * data, offset the position of the next read or write.  The block has one
 * byte more than len, so that a NUL can follow the data. */
typedef struct MMFILE {
    char *name; /* owned */
    BINARYFILE bFile;
    unsigned char *start;
    unsigned long len;
    unsigned long actLen;
    unsigned long offset;
} MMFILE;

/* Takes name over (allocated by the caller with the library's allocator).
 * Reads the first actLen bytes of the file into a block of len bytes (and a
 * NUL after them).  When len < actLen or the block cannot be had: "\n%s is
 * used directly\n", the name is freed and the result is null, and the
 * caller works on the file itself. */
MMFILE *MapToMem(char *name, BINARYFILE bFile, unsigned long len, unsigned long actLen);
void MapSkAbs(MMFILE *mm, unsigned long pos);
/* Reading past actLen ends the process. */
void MapReBytes(void *buf, unsigned long cnt, MMFILE *mm);
/* Writes into the copy; a write that does not fit gives the copy up: the
 * copy is written back, the write goes to the file at its position, the
 * copy is freed and *mm becomes null. */
void MapWrBytes(const void *buf, unsigned long cnt, MMFILE **mm);
/* Writes the actLen bytes back to the start of the file. */
void MapFlush(MMFILE *mm);
/* MapFlush first when wr; frees the block, the name and the record. */
void Unmap(MMFILE *mm, int wr);

/* Element tools.  Keys: a boxed number compares with a pointer to a number,
 * a byte string with a byte string, and so on, as the comparisons show. */

/* Boxed numbers: compared unsigned; the prefix test ignores bit 0. */
unsigned long *LngCons(unsigned long value);
unsigned long *LngCopy(const unsigned long *number);
int LngCompare(const unsigned long *number, const unsigned long *key);
int LngPrefix(const unsigned long *number, const unsigned long *prefix);
extern const TOOLS lngTools;
extern const BALTOOLS lngBalTools;

/* Boxed domain values, the same way. */
DOMAIN *DomCons(DOMAIN value);
DOMAIN *DomCopy(const DOMAIN *value);
int DomCompare(const DOMAIN *value, const DOMAIN *key);
int DomPrefix(const DOMAIN *value, const DOMAIN *prefix);
extern const TOOLS domTools;
extern const BALTOOLS domBalTools;

/* NUL-terminated byte strings: compared byte by byte as unsigned, a proper
 * prefix first; DataPrefix(s, p): p is a prefix of s (an empty p always). */
unsigned char *DataCopy(const unsigned char *data);
int DataCompare(const unsigned char *a, const unsigned char *b);
int DataPrefix(const unsigned char *s, const unsigned char *p);
/* The number of bytes before the NUL. */
unsigned long DataLen(const unsigned char *data);
extern const TOOLS dataTools;
extern const BALTOOLS dataBalTools;

/* Strings: copied by StrCp, compared by strcmp. */
int StrPrefix(const char *str, const char *prefix);
extern const BALTOOLS strBalTools;

/* Lists of strings: the first non-zero strcmp of corresponding strings,
 * else -1 / 1 when the first / second list is shorter, 0 when equal. */
int StrLstCompare(LIST *list1, LIST *list2);
/* 1 when every string of prefix equals its counterpart in list, the last
 * one only needing to be a prefix of its counterpart. */
int StrLstPrefix(LIST *list, LIST *prefix);

/* A reference: a key string it does not own and a slot number. */
typedef struct REF {
    char *key;
    unsigned long slot;
} REF;
REF *RefCons(char *key, unsigned long slot);
/* Shares the key. */
REF *RefCopy(REF *ref);
int RefKeyCmp(REF *ref, const char *key);
int RefPrefix(REF *ref, const char *prefix);
extern const BALTOOLS refBalTools;

/* A reference owning its byte-string key. */
typedef struct DREF {
    unsigned char *key;
    unsigned long slot;
} DREF;
/* Takes the key over. */
DREF *DrefCons(unsigned char *key, unsigned long slot);
/* Copies the key. */
DREF *DrefCopy(DREF *dref);
void DrefDiscard(DREF *dref);
int DrefKeyCmp(DREF *dref, const unsigned char *key);
int DrefPrefix(DREF *dref, const unsigned char *prefix);
extern const BALTOOLS drefBalTools;

/* A monitor record: a tester value and its condition bits. */
typedef struct MON {
    unsigned long state;
    unsigned flag;
} MON;
/* Flag 0. */
MON *MonCons(unsigned long state);
int MonKeyCmp(MON *mon, const unsigned long *key);
/* No copy tool, no prefix test. */
extern const BALTOOLS monBalTools;
/* The monitor records of the tester place, keyed by tester value. */
extern AVLSET *monitors;

/* A step of a path: a state node and the arrow that led out of it. */
typedef struct STEP {
    unsigned long world;
    unsigned long awAddr;
} STEP;
STEP *StpCons(unsigned long world, unsigned long awAddr);
STEP *StpCopy(STEP *step);
extern const TOOLS stpTools;

/* A path from w0 through arrows a1..an to wn: the steps (w(n-1), an), ...,
 * (w0, a1), newest first, and end = wn. */
typedef struct PATH {
    LIST *steps;
    unsigned long end;
} PATH;
/* The empty path at world. */
PATH *PthCreate(unsigned long world);
PATH *PthCopy(PATH *path);
void PthDracsid(PATH *path);
/* Extends the end: a new newest step (old end, awAddr), end := world. */
void PthInsLast(PATH *path, unsigned long awAddr, unsigned long world);
/* A new oldest step at the start. */
void PthInsFirst(PATH *path, unsigned long world, unsigned long awAddr);
/* Removes the newest step; end := its world.  The path must not be empty. */
void PthDelLast(PATH *path);
/* path1 followed by path2: path1's steps become path2's oldest ones and
 * path1's record goes; returns path2.  Nothing checks that path1 ends where
 * path2 starts. */
PATH *PthCatenate(PATH *path1, PATH *path2);
/* 1 when some step's world is the end. */
int PthLoop(PATH *path);
/* By end (unsigned), then the steps newest first, each by world then
 * awAddr; a path that runs out of steps first is smaller. */
int PthCompare(PATH *path1, PATH *path2);
/* 1 when both end in the same world and suffix's steps are the newest steps
 * of path. */
int PthSuffix(PATH *path, PATH *suffix);
extern const TOOLS pthTools;
extern const BALTOOLS pthBalTools;

/* A bit set of count bits (count at least 1): a RADIX with one leaf of 8192
 * bytes per 65536 bits, the last leaf only as long as needed.  No bounds
 * check: n must be below count. */
typedef struct BITSET {
    unsigned long count;
    RADIX *set;
} BITSET;
BITSET *BstCons(unsigned long count);
void BstDiscard(BITSET *bitset);
void BstClear(BITSET *bitset);
int BstIn(BITSET *bitset, unsigned long n);
void BstInsert(BITSET *bitset, unsigned long n);
void BstDelete(BITSET *bitset, unsigned long n);

#ifdef __cplusplus
}
#endif

#endif
