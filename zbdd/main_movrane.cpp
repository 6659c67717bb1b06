#include "drivers.h"

int main(int argc, char** argv) { return zbdd::movraneMain(argc, argv); }
