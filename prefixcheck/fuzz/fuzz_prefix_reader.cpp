// Fuzz target of the prefix readers: every input is read as a ".mci" file
// and as a ".unf" file.  The ".mci" reader must take exactly the inputs that
// the tests' own decoder calls prefixes, and whatever either reader takes
// must keep the rules of a prefix.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_target.h"
#include "mci_oracle.h"
#include "prefixfile.h"

namespace {

[[noreturn]] void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_prefix_reader: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const prefixfile_test::Decoded expected = prefixfile_test::decode_mci(bytes);
    try {
        const prefixfile::Prefix p = prefixfile::read_mci_bytes(bytes, "fuzz.mci");
        if (expected.verdict != prefixfile_test::Oracle::Valid) fault("taken although", expected.rule);
        const std::string rule = prefixfile_test::broken_rule(p);
        if (!rule.empty()) fault(".mci prefix breaks a rule", rule);
    } catch (const prefixfile::ReadError& e) {
        if (expected.verdict == prefixfile_test::Oracle::Valid) fault("valid file refused", e.what());
    }
    try {
        const prefixfile::Prefix p = prefixfile::read_unf_text(bytes, "fuzz.unf");
        const std::string rule = prefixfile_test::broken_rule(p);
        if (!rule.empty()) fault(".unf prefix breaks a rule", rule);
    } catch (const prefixfile::ReadError&) {
    }
    return 0;
}
