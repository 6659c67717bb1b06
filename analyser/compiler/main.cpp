#include "driver.h"

int main(int argc, char** argv) { tulc::TulcMain(argc, argv); }
