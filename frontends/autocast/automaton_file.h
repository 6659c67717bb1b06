// The automaton file, as the outside PFA editor writes it:
//
//     VOS
//     FiniteAutomaton
//     FORMAT_N2
//     PL
//     1 120@80 1 "idle"
//     2 240@80 3 "done"
//     AR
//     1 1>2 180@80 180@60 "<x' = x + 1>"
//     TX
//     "B(PN)2"
//     "var y : {0..1};"
//     "note" 10@10 "text"
//
// States (number, position, kind 1 initial, 2 plain, 3 final, name), arcs
// (number, states, position, a second position that is not used, label),
// the type and the local declarations, then annotation lines.  Files in
// the old format ("FORMAT_N") have no arc numbers.  This reader only checks
// and collects the text; the translation builds the net.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "textreader.h"

namespace autocast {

struct AutomatonState {
    std::uint16_t number = 0;
    std::uint16_t x = 0, y = 0;
    char kind = '2';
    std::string name;
};

struct AutomatonArc {
    std::uint16_t number = 1;     // 1 for every arc of the old format
    std::size_t from = 0, to = 0;  // indices into the states
    std::uint16_t x = 0, y = 0;
    std::string label;
};

struct AutomatonText {
    bool old_format = false;
    std::vector<AutomatonState> states;
    std::vector<AutomatonArc> arcs;
    std::string declarations;  // B(PN)2 text of the TX section
};

// Reads an automaton file up to its declaration text (the part the net is
// built from), then, after the translation, its annotation lines.  Every
// deviation throws FormatError with the line counter.
class AutomatonFileReader {
public:
    explicit AutomatonFileReader(std::string text) : r_(std::move(text)) {}
    // The header up to the format line: whether the file has the old format
    // (so that its warning comes before any error further on).
    bool read_header();
    // States, arcs and the TX section, after the header (read here when
    // read_header was not called).  An arc names a state by its number;
    // with two states of that number, the first one.
    AutomatonText read_body();
    // The annotation lines that follow up to the end of the text.
    void read_annotations();

private:
    TextReader r_;
    bool header_read_ = false;
    bool old_format_ = false;
};

}  // namespace autocast
