// trelmik: the finite complete prefix of a 1-safe net.
#include "trelmik.h"

int main(int argc, char** argv) { return trelmik::run_trelmik(argc, argv); }
