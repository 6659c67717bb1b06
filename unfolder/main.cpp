// trelmik: the finite complete prefix of a 1-safe net.
#include "trelmik.h"

#include "net.h"

int main(int argc, char** argv) {
    netlib::install_memory_handler();
    return trelmik::run_trelmik(argc, argv);
}
