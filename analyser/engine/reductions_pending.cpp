// The entry points of the reductions (stubborn sets, on-the-fly and Buchi
// checks, symmetries) until their modules are built.  The engine main
// refuses the options that would reach them; a call that gets here anyway
// stops with a message.
#include "alloc.h"
#include "internal.h"
#include "mirror.h"
#include "plainnet.h"

AVLSET* _plcSymmetries = nullptr;
AVLSET* _plcSyGenerators = nullptr;

namespace {
[[noreturn]] void Missing(const char* what) { engine::Fail("\n%s is not built into this analyser\n", what); }
}  // namespace

void CompSymm(int) { Missing("CompSymm"); }
void PtIncrementalAlg(void) { Missing("PtIncrementalAlg"); }
void PtRedInc(void) { Missing("PtRedInc"); }
void PtDeletionAlg(void) { Missing("PtDeletionAlg"); }
void PtOnTheFly(void) { Missing("PtOnTheFly"); }
void PtProCFFD(void) { Missing("PtProCFFD"); }
PATH* PtInfinite(void) { Missing("PtInfinite"); }
void PtInside(void) { Missing("PtInside"); }
PATH* PtBuchi(void) { Missing("PtBuchi"); }
void PtInner(void) { Missing("PtInner"); }
void PtActual(void) { Missing("PtActual"); }
