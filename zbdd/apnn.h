// The APNN reader: a scanner and a parser whose actions collect the
// attributes of each place, transition and arc and hand them to the net
// tables.  The dialect of the tables decides the keywords (cyrtal: "\acc"
// and "\ba"; movrane and pelwick: "\partition"), the arc types and the
// message forms.
#pragma once

#include <string>

#include "nettables.h"

namespace zbdd {

// Reads the whole net text into the tables; the file name appears in the
// parser's messages.  Prints "(NrP %d NrT %d NrMP %d)\n\n" except for pelwick,
// whose standard output holds only the Büchi net.
void buildNetTables(NetTables& tables, const std::string& text, const std::string& fileName);

// Reads a whole file; false when it cannot be opened or read.
bool readFile(const std::string& path, std::string& text);

}  // namespace zbdd
