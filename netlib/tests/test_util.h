// Helpers of the net library's tests.
#pragma once

#include <string>

#include "net.h"

namespace nettest {

// A regular expression that matches the text literally.
std::string literal(const std::string& text);
// The message of a syntax error in the given file and line.
std::string syntax_message(const std::string& file, int line, const std::string& text);
// A canonical text of a net: identifier, counts, every node with its fields
// and kept extras in list order, every arc with weight and extras.
std::string describe(netlib::NET* net);
// Names of the list in order, separated by blanks.
std::string place_names(netlib::NET* net);
std::string transition_names(netlib::NET* net);

}  // namespace nettest
