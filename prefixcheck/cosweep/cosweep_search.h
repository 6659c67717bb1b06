// The co-set search: a marking (a set of places, complement places naming
// unmarked places) is reachable exactly when the prefix holds pairwise
// concurrent conditions, one labelled with each of its places.  The search
// picks one condition per place depth-first, testing concurrency in the
// co-relation matrix; the local configurations of a found co-set, in event
// order, form a firing sequence that reaches the marking.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bitvektor.h"
#include "cosweep_prefix.h"
#include "my_liste.h"
#include "net.h"

namespace cosweep {

class CoSearch {
public:
    // `net` is the working net whose places the formula lines name.
    CoSearch(const Prefix& prefix, netlib::NET* net) : prefix_(prefix), net_(net) {}

    // Reads the matrix: a row of k-1 bits for each condition k = 2..n, each
    // row padded to whole bytes.  A file that cannot be opened or that holds
    // fewer bytes than the rows need is an error (CosweepError).
    void read_co_relation(const std::string& path);
    // Sets bit l-1 of the row of condition h (l < h) by hand (tests).
    void set_co(std::uint32_t a, std::uint32_t b);
    void resize_matrix();

    // Reads the next line of place names; true at the end of the file.  An
    // unknown name is an error (CosweepError on standard output).
    bool ReadMarkingLine(std::FILE* f);
    // Sets the names of the current line directly (tests); unchecked.
    void set_line(std::vector<std::string> names) { names_ = std::move(names); }
    const std::vector<std::string>& line() const { return names_; }

    void ConditionsOfPlaces();
    void CoSetSearch();
    bool IsCo(std::uint32_t a, std::uint32_t b) const;

    // Decides one line (ConditionsOfPlaces, then CoSetSearch unless a place
    // has no condition); true when its marking is reachable.
    bool decide_line();
    bool found() const { return found_; }

    // The firing sequence of the found co-set: transition labels of the
    // marked events in ascending event number.
    std::vector<std::string> firing_sequence() const;
    void PrintFiringSequence(std::FILE* out) const;   // "#", " %s" per event, "\n"
    const std::vector<std::uint32_t>& chosen() const { return chosen_; }

private:
    void PrepareSequence();
    void MarkPast(std::uint32_t condition);

    const Prefix& prefix_;
    netlib::NET* net_;
    std::vector<BitVektor> rows_;          // row k-2 belongs to condition k
    std::vector<std::string> names_;       // the current line, repeated names dropped
    std::vector<List<std::uint32_t>> lists_;
    std::vector<std::uint32_t> chosen_;
    std::vector<std::uint8_t> marked_;     // per event
    bool found_ = false;
    bool no_condition_ = false;
};

}  // namespace cosweep
