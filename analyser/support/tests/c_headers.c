/* Every header of the support library compiled as C, the way the generated
 * code sees them, with the header macros used as the generated code uses
 * them. */
#include <string.h>

#include "absolute.h"
#include "alloc.h"
#include "dynam.h"
#include "avlset.h"
#include "sigcatch.h"
#include "mark.h"
#include "radix.h"
#include "invoc.h"
#include "fileaux.h"
#include "encode.h"
#include "inst.h"

int SupportCHeadersSmoke(void);

static int counted;

/* An apply function over the caller's own element type, as generated code
 * writes them. */
static BOOL CountWord(char *word)
{
    counted += word[0] != 0;
    return FALSE;
}

static int WordCmp(void *element, const void *key)
{
    return strcmp((char *) element, (const char *) key);
}

static const BALTOOLS wordTools = {NULL, NULL, WordCmp, NULL};

int SupportCHeadersSmoke(void)
{
    int ok = 1;
    char *name = FileName("a", "b");
    char *word;
    VOID *cursor = NULL;
    LIST *list = LstCreate(&strTools);

    ok &= name[1] == '.';
    Deallocate(name);

    (void) LstInsLast(list, (char *) StrCp("x"));
    (void) LstInsLast(list, (char *) StrCp("z"));
    LSTFOR (list, word, char)
        {
            if (strcmp(word, "x") > 0)
                break;
            cursor = LstGet(list);
        }
    LstSet(list, cursor);
    (void) LstInsNext(list, (char *) StrCp("y"));
    ok &= !LstEmpty(list) && LstSize(list) == 3 && strcmp((char *) LstElement(list, 2), "y") == 0;
    LstDestroy(list, TRUE);

    {
        AVLSET *set = BalTrCreate(&wordTools);
        (void) BalTrInsert(set, (char *) "b", "b", TRUE);
        (void) BalTrInsert(set, (char *) "a", "a", TRUE);
        counted = 0;
        ok &= BalTrApply(set, CountWord) == NULL && counted == 2;
        BalTrDestroy(set, FALSE);
    }

    {
        /* The calls of the generated code, with its casts. */
        unsigned char *buffer = NULL;
        unsigned size = 0;
        DOMAIN v[1] = {(DOMAIN) 300};
        InsAlloc(1, 1);
        _ingNofVars[0] = 1;
        ok &= InsEncode((unsigned) 0, (unsigned) 0, v, &buffer, &size) == 4;
        ok &= DataLen(buffer) == 4 && buffer[1] == 0x84;
        Deallocate(buffer);
        InsAlloc(0, 0);
    }
    return ok;
}
