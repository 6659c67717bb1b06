// Test-only prefixes in the text form: a writer of ".unf" files for the
// prefixes of the shared test support (built by hand or by its unfolder).
#pragma once

#include <string>

#include "prefix_support.h"

namespace prefixfile_test {

std::string unf_text(const testsupport::Prefix& p, const std::string& file_name,
                     const std::string& net_file = "net.ll_net");

}  // namespace prefixfile_test
