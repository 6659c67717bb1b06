#include "cosweep_prefix.h"

#include <cstdio>
#include <cstdlib>

namespace cosweep {

Prefix readMCI(const std::string& path) {
    try {
        return prefixfile::read_mci(path);
    } catch (const prefixfile::ReadError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "\nFEHLER -- %s\n", e.what());
        std::fflush(stderr);
        std::exit(1);
    }
}

}  // namespace cosweep
