// The prefix as cosweep uses it: read from a ".mci" file by the shared
// reader; every condition is labelled by the name of its place, every event
// by the name of its transition.
#pragma once

#include <string>

#include "prefixfile.h"

namespace cosweep {

using Prefix = prefixfile::Prefix;

// Reads the prefix; a reader failure prints "\nFEHLER -- %s\n" on the error
// stream and ends the program with exit code 1.
Prefix readMCI(const std::string& path);

}  // namespace cosweep
