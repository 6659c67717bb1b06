#include "cosweep_prefix.h"

#include <cstdio>
#include <cstdlib>

namespace cosweep {

Prefix make_prefix(dlbacktrack::PrefixFile file, const std::string& path) {
    using dlbacktrack::ReadError;
    Prefix p;
    p.file = std::move(file);
    netlib::NET* net = p.file.net.get();
    p.conditions = net->places;
    p.events = p.file.events();
    for (std::uint32_t c = 1; c <= p.conditions; ++c) {
        std::uint32_t place = p.file.condition_place[c];
        if (place == 0 || place > p.file.place_names.size())
            throw ReadError(ReadError::Kind::Fatal, "readMCI(): Stelle " + std::to_string(place) + " von B" +
                                                        std::to_string(c) + " existiert nicht in '" + path + "'");
    }
    p.pre_event.assign(p.conditions + 1, 0);
    p.preset.assign(p.events + 1, {});
    for (netlib::NET_NODE* b = net->first_place; b; b = b->next) {
        if (b->preset) p.pre_event[b->number] = b->preset->transition->number;
        for (netlib::NET_ARC* a = b->postset; a; a = a->p_next) p.preset[a->transition->number].push_back(b->number);
    }
    return p;
}

Prefix readMCI(const std::string& path) {
    try {
        return make_prefix(dlbacktrack::readMCI(path), path);
    } catch (const dlbacktrack::ReadError& e) {
        std::fflush(stdout);
        if (e.kind == dlbacktrack::ReadError::Kind::Syntax)
            std::fprintf(stderr, "ERROR: syntax error in file '%s', line %d: %s.\n", e.file.c_str(), e.line, e.what());
        else
            std::fprintf(stderr, "\nFEHLER -- %s\n", e.what());
        std::fflush(stderr);
        std::exit(1);
    }
}

}  // namespace cosweep
