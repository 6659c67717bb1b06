// Maximal configurations of a prefix (all events, cut-offs included) and
// their consistency check.
#pragma once

#include <cstdint>
#include <cstdio>
#include <list>
#include <vector>

#include "unfold.h"
#include "writers.h"

namespace trelmik {

// The maximal configurations of the prefix built so far, updated event by
// event in creation order (a configuration the new event extends takes it;
// one it conflicts with gives a new configuration without the events in
// conflict with it, that is without the consumers of its input conditions and
// everything that follows them, so every set stays causally closed).  The
// loops call update() for each event they create, when the event's input
// arcs exist; events created later play no part in the update of an earlier
// one, so updating during the run and replaying afterwards agree.
class MaxConfigurations {
public:
    // `reduce` false (-z): the update leaves out its reduction step, which
    // compares a new set only with the configurations of the same newest
    // event; every older configuration is compared too.
    explicit MaxConfigurations(bool reduce = true) : reduce_(reduce) {}
    void update(const Prefix& pf, std::uint32_t e);
    std::uint32_t count() const { return static_cast<std::uint32_t>(configs_.size()); }
    // The events held by all configurations together.
    std::uint64_t cells() const;
    // The sets in ascending event numbers, in list order (newest events first).
    Configurations result() const;

private:
    using Config = std::vector<std::uint32_t>;  // descending: the newest event first
    bool reduce_;
    std::list<Config> configs_;
    std::vector<std::uint32_t> in_conflict_, in_config_;
    std::uint32_t kstamp_ = 0, cstamp_ = 0;
    std::vector<std::uint32_t> stack_, pre_;
    Config conflict_;
};

// The maximal configurations of a finished prefix: update() for every event.
Configurations maximal_configurations(const Prefix& pf, bool reduce = true);

// Reports, on `out`, events missing from the causal past of a configuration,
// configurations listed twice or contained in others, and cut-offs that lie
// in no configuration.  Returns true when nothing was found.
bool consistency_check(std::FILE* out, const Prefix& pf, const Configurations& configs);

}  // namespace trelmik
