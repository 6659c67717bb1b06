// Maximal configurations computed once more after the run (-k): the prefix
// is reduced to what can change the set of maximal configurations, a
// conflict table is built, and the maximal conflict-free sets are listed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "unfold.h"

namespace trelmik {

struct SeparateResult {
    std::uint32_t configurations = 0;
    std::uint32_t conditions = 0;  // left after the reduction
    std::uint32_t events = 0;
    std::vector<std::vector<std::uint32_t>> sets;  // run event numbers, ascending
    // The prefix as the reduction left it: conditions in their old order and
    // events in their new order, numbered 1, 2, ...; each event is labelled
    // with the transition of the smallest run event it stands for.  Output
    // conditions are found through their pre-events (ev_post_* stay 0); the
    // cut-off list keeps the run's event numbers.
    Prefix reduced;
};

// Trace on `out`; unless `no_configs` each configuration is printed and
// written to the file `config_file`, staged until outfile::commit (open
// failure: "Could not open file for writing.\n" and ExitRequest{111}).
SeparateResult separate_configurations(const Prefix& pf, bool no_configs, std::FILE* out,
                                       const std::string& config_file = "SR_CONFIGFILE");

}  // namespace trelmik
