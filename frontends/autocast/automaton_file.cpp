#include "automaton_file.h"

#include <unordered_map>

namespace autocast {

bool AutomatonFileReader::read_header() {
    r_.skip_separators();
    r_.keyword("VOS");
    r_.skip_separators();
    r_.keyword("FiniteAutomaton");
    r_.skip_separators();
    if (!r_.begins_with("FORMAT_N")) r_.fail();
    r_.advance(8);
    if (r_.peek() == '2') r_.advance(1);
    else old_format_ = true;
    r_.end_of_line();
    header_read_ = true;
    return old_format_;
}

AutomatonText AutomatonFileReader::read_body() {
    if (!header_read_) read_header();
    AutomatonText a;
    a.old_format = old_format_;

    // Optional drawing defaults, ignored.
    r_.skip_separators();
    for (const char* word : {"DPL", "DAR"}) {
        if (!r_.begins_with(word)) continue;
        r_.keyword(word);
        r_.skip_separators();
        r_.quoted();
        r_.end_of_line();
        r_.skip_separators();
    }

    r_.keyword("PL");
    r_.skip_separators();
    std::unordered_map<std::uint16_t, std::size_t> state_index;  // the first state of each number
    while (!r_.begins_with("AR")) {
        AutomatonState s;
        s.number = r_.number();
        std::tie(s.x, s.y) = r_.pair('@');
        r_.skip_blanks();
        s.kind = r_.peek();
        if (s.kind != '1' && s.kind != '2' && s.kind != '3') r_.fail();
        r_.advance(1);
        r_.skip_blanks();
        s.name = r_.quoted();
        r_.end_of_line();
        r_.skip_separators();
        state_index.emplace(s.number, a.states.size());
        a.states.push_back(std::move(s));
    }

    r_.keyword("AR");
    r_.skip_separators();
    auto state_of = [&](std::uint16_t number) {
        auto it = state_index.find(number);
        if (it == state_index.end()) r_.fail();
        return it->second;
    };
    while (!r_.begins_with("TX")) {
        AutomatonArc arc;
        if (!a.old_format) arc.number = r_.number();
        const auto [from, to] = r_.pair('>');
        arc.from = state_of(from);
        arc.to = state_of(to);
        std::tie(arc.x, arc.y) = r_.pair('@');
        r_.pair('@');  // second position, not used
        r_.skip_blanks();
        arc.label = r_.quoted();
        r_.end_of_line();
        r_.skip_separators();
        a.arcs.push_back(std::move(arc));
    }

    r_.keyword("TX");
    r_.skip_separators();
    const std::string type = r_.quoted();
    r_.end_of_line();
    if (type.compare(0, 6, "Struct") != 0 && type.compare(0, 6, "B(PN)2") != 0) r_.fail();
    r_.skip_separators();
    a.declarations = r_.quoted();
    r_.end_of_line();
    return a;
}

void AutomatonFileReader::read_annotations() {
    r_.skip_separators();
    while (!r_.at_end()) {
        r_.quoted();
        r_.skip_blanks();
        r_.pair('@');
        r_.skip_blanks();
        r_.quoted();
        r_.end_of_line();
        r_.skip_separators();
    }
}

}  // namespace autocast
