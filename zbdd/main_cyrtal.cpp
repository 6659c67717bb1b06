#include "drivers.h"

int main(int argc, char** argv) { return zbdd::cyrtalMain(argc, argv); }
