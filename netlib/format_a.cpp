// Nets in the old tagged format ("FORMAT_A" in the header): read_VOS hands the
// stream over to the reader of the side formats.
#include "formats/formats.h"
#include "vos.h"

namespace netlib {

NET* read_FORMAT_A(std::FILE* f, const std::string& identifier) { return read_FORMAT_A_impl(f, identifier); }

}  // namespace netlib
