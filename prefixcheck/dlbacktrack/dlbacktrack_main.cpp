#include "dlbacktrack_driver.h"

int main(int argc, char** argv) { return dlbacktrack::run(argc, argv); }
