#include "driver.h"

int main(int argc, char** argv) { return flatnet::flatnet_main(argc, argv); }
