#include "velcheck.h"

int main(int argc, char** argv) { return velcheck::run(argc, argv); }
