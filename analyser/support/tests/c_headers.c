/* Every header of the support library compiled as C, the way the generated
 * code sees them. */
#include "absolute.h"
#include "alloc.h"

int SupportCHeadersSmoke(void);

int SupportCHeadersSmoke(void)
{
    char *name = FileName("a", "b");
    int ok = name[1] == '.';
    Deallocate(name);
    return ok;
}
