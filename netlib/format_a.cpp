// Nets in the old tagged format ("FORMAT_A" in the header).
#include "scanner.h"
#include "vos.h"

namespace netlib {

NET* read_FORMAT_A(std::FILE*, const std::string&) {
    syntax_error("nets in the old format 'FORMAT_A' cannot be read by this version");
}

}  // namespace netlib
