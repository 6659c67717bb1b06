// The class of the firing at hand for generated code of a net with a single
// class (the code of a net with several classes defines its own).  Alone in
// its object so that the library member is only linked when asked for.
#include "tulrt.h"

extern "C" {
unsigned _class = 0;
}
