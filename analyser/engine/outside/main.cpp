// The main function of an analyser; the net's code is linked beside it.
#include "enginemain.h"

int main(int argc, char** argv) { return EngineMain(argc, argv); }
