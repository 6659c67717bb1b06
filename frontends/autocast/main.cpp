#include "driver.h"

int main(int argc, char** argv) { return autocast::autocast_main(argc, argv); }
