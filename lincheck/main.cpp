#include "vorga.h"

int main(int argc, char** argv) { return vorga::vorga_main(argc, argv); }
