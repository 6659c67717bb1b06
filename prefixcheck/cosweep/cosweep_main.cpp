#include "cosweep_driver.h"

int main(int argc, char** argv) { return cosweep::run(argc, argv); }
