// The entry points of the reductions whose modules are not built yet (the
// on-the-fly and Buchi searches).  The
// engine main refuses the options and testers that would reach them; a
// call that gets here anyway stops with a message.
#include "alloc.h"
#include "internal.h"
#include "plainnet.h"
#include "walk.h"

namespace {
[[noreturn]] void Missing(const char* what) { engine::Fail("\n%s is not built into this analyser\n", what); }
}  // namespace

void PtOnTheFly(void) { Missing("PtOnTheFly"); }
void PtProCFFD(void) { Missing("PtProCFFD"); }
PATH* PtInfinite(void) { Missing("PtInfinite"); }
void PtInside(void) { Missing("PtInside"); }
PATH* PtBuchi(void) { Missing("PtBuchi"); }
void PtInner(void) { Missing("PtInner"); }
void PtActual(void) { Missing("PtActual"); }
