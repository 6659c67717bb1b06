#include "drivers.h"

int main(int argc, char** argv) { return zbdd::pelwickMain(argc, argv); }
