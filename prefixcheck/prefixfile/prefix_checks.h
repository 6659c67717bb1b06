// What both readers share beyond the file formats: the event relations
// derived from the condition records, and the checks that need the whole
// prefix.  Each check returns the description of the first fault it finds,
// or an empty string.
#pragma once

#include <string>

#include "prefixfile.h"

namespace prefixfile::detail {

// Fills preset and postset from the condition records.
void build_event_relations(Prefix& p);

// An event that consumes no condition (no transition without input places
// ever gets an event).
std::string event_without_preset(const Prefix& p);

// A condition behind a cut-off that some event consumes (the unfolder never
// extends a cut-off).
std::string consumed_behind_cutoff(const Prefix& p);

}  // namespace prefixfile::detail
