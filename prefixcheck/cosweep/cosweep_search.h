// The co-set search: a marking (a set of places, complement places naming
// unmarked places) is reachable exactly when the prefix holds pairwise
// concurrent conditions, one labelled with each of its places.  The search
// picks one condition per place depth-first, testing concurrency in the
// co-relation matrix; the local configurations of a found co-set, in event
// order, form a firing sequence that reaches the marking.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cosweep_prefix.h"
#include "my_liste.h"

namespace cosweep {

class CoSearch {
public:
    // The formula lines name places of the prefix's net (the complement
    // net, so names beginning with '|' denote unmarked places).
    explicit CoSearch(const Prefix& prefix);
    ~CoSearch();
    CoSearch(const CoSearch&) = delete;
    CoSearch& operator=(const CoSearch&) = delete;

    // Reads the matrix: a row of k-1 bits for each condition k = 2..n, each
    // row padded to whole bytes, all rows in one array (a regular file is
    // mapped, not copied; it must not shrink while the program runs).  A
    // file that cannot be opened or that holds fewer bytes than the rows need
    // is an error (CosweepError).
    void read_co_relation(const std::string& path);

    // Reads the next line of place names; true at the end of the file.
    // Names are separated by single blanks and compared whole; a line end
    // may be "\r\n", and empty lines at the end of the file end it.  An
    // unknown name is an error (CosweepError on standard output), and so is
    // a file that cannot be read (the message names `file`).
    bool ReadMarkingLine(std::FILE* f, const std::string& file);

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
    // Offset of the row of condition k (k >= 2) in the matrix.
    static std::uint64_t row_start(std::uint32_t k);

    const Prefix& prefix_;
    std::size_t longest_place_ = 0;        // longest place name
    const std::uint8_t* matrix_ = nullptr;   // the rows of conditions 2..n, one after the other
    std::pair<void*, std::size_t> mapping_{nullptr, 0};   // the mapped file, or
    std::unique_ptr<std::uint8_t[]> copy_;                // the rows read
    // The conditions of each place of the prefix, ascending (index by place
    // number).
    prefixfile::Relation place_conditions_;
    std::vector<std::string> names_;       // the current line, repeated names dropped
    std::vector<List<std::uint32_t>> lists_;
    std::vector<std::uint32_t> chosen_;
    std::vector<std::uint8_t> marked_;     // per event
    bool found_ = false;
    bool no_condition_ = false;
};

}  // namespace cosweep
