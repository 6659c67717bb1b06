// The modelling road of the tests: statecast, then flatnet, then the
// low-level net read and explored by the test support; with the labels of
// places and transitions that the explorer's reader leaves out.
#pragma once

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "petri_test.h"

namespace statecast_test {

struct Run {
    testsupport::TempDir dir;
    testsupport::RunResult statecast, flatnet;
    testsupport::TestNet net;
    std::vector<std::string> place_label;  // by place index
    std::vector<std::string> trans_label;  // by transition index
    testsupport::StateSpace space;
    bool expanded = false;

    std::string file(const std::string& ext) const { return dir.file("spec" + ext); }
    // Labels of the transitions fired somewhere in the reachability graph.
    std::vector<std::string> fired() const;
    // Transition indices whose label starts with the text.
    std::vector<int> transitions(const std::string& prefix) const;
    // The values (as written in the place labels, "3,tt") of the places of
    // this name that some reachable marking marks.
    std::set<std::string> marked(const std::string& name) const;
    // Whether a reachable marking marks every listed place label.
    bool marks_together(const std::vector<std::string>& labels) const;
};

// Writes the specification as spec.if, runs statecast with the options and
// VOSHOME set to the source tree's templates, then flatnet, and explores
// the low-level net (up to max_states states).
std::unique_ptr<Run> pipeline(const std::string& spec, const std::string& options = "",
                              std::size_t max_states = 200000);
// statecast alone: the high-level net's text (empty when statecast fails;
// its messages then in *err).
std::string translate(const std::string& spec, const std::string& options, std::string* err = nullptr);

// Place and transition labels (the b fields) of a low-level net file, by
// their names "P%u" and "T%u".
std::map<std::string, std::string> ll_labels(const std::string& text);

// A place label "name=(v1,v2,...)" or "name=v" split into its name and
// values; false for other labels.
bool split_label(const std::string& label, std::string& name, std::vector<std::string>& values);

}  // namespace statecast_test
