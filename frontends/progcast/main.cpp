#include "driver.h"

int main(int argc, char** argv) { return progcast::run(argc, argv); }
