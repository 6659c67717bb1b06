/* Every header of the support library compiled as C, the way the generated
 * code sees them, with the header macros used as the generated code uses
 * them. */
#include <string.h>

#include "absolute.h"
#include "alloc.h"
#include "dynam.h"

int SupportCHeadersSmoke(void);

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
    return ok;
}
