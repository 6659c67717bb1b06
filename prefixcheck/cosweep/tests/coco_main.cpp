// cosweep_test_coco <mci> <bin_coco>: writes the co-relation matrix of a prefix.
#include <cstdio>

#include "coco_oracle.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cosweep_test_coco <mci> <bin_coco>\n");
        return 2;
    }
    return cosweep_test::write_coco(argv[1], argv[2]) ? 0 : 1;
}
