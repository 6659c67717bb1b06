#include "prefix_checks.h"

#include <functional>

namespace prefixfile {

namespace {
std::size_t hash_of(std::string_view s) { return std::hash<std::string_view>()(s); }
}  // namespace

std::uint32_t NameTable::add(std::string_view name) {
    chars_.append(name);
    chars_.push_back('\0');
    start_.push_back(static_cast<std::uint32_t>(chars_.size()));
    const std::uint32_t number = count();
    // Names go in by number, each to the end of its probe sequence, so that
    // find() meets the first of equal names first.
    if (2 * std::size_t(number) > slots_.size()) {
        grow_index();   // takes the new name in as well
    } else {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash_of(name) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = number;
    }
    return number;
}

std::uint32_t NameTable::find(std::string_view name) const {
    if (slots_.empty()) return 0;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash_of(name) & mask; slots_[i] != 0; i = (i + 1) & mask)
        if ((*this)[slots_[i]] == name) return slots_[i];
    return 0;
}

void NameTable::grow_index() {
    std::size_t size = 16;
    while (size < 4 * std::size_t(count())) size *= 2;
    slots_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::uint32_t k = 1; k <= count(); ++k) {
        std::size_t i = hash_of((*this)[k]) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = k;
    }
}

void NameTable::reserve(std::size_t names, std::size_t chars) {
    start_.reserve(names + 1);
    chars_.reserve(chars);
}

std::string Prefix::event_name(std::uint32_t e) const {
    return event_names.empty() ? "E" + std::to_string(e) : event_names[e];
}

namespace detail {

void build_event_relations(Prefix& p) {
    const std::uint32_t E = p.events, C = p.conditions;
    p.preset.offset.assign(std::size_t(E) + 2, 0);
    p.postset.offset.assign(std::size_t(E) + 2, 0);
    for (std::uint32_t e : p.consumers.items) ++p.preset.offset[e + 1];
    for (std::uint32_t c = 1; c <= C; ++c)
        if (p.condition_pre[c]) ++p.postset.offset[p.condition_pre[c] + 1];
    for (std::uint32_t e = 1; e <= E; ++e) {
        p.preset.offset[e + 1] += p.preset.offset[e];
        p.postset.offset[e + 1] += p.postset.offset[e];
    }
    p.preset.items.resize(p.consumers.items.size());
    p.postset.items.resize(p.postset.offset[std::size_t(E) + 1]);
    // Filled in ascending condition order, so every list is ascending.
    std::vector<std::uint32_t> pre_fill(p.preset.offset.begin(), p.preset.offset.end() - 1);
    std::vector<std::uint32_t> post_fill(p.postset.offset.begin(), p.postset.offset.end() - 1);
    for (std::uint32_t c = 1; c <= C; ++c) {
        for (std::uint32_t e : p.consumers[c]) p.preset.items[pre_fill[e]++] = c;
        if (p.condition_pre[c]) p.postset.items[post_fill[p.condition_pre[c]]++] = c;
    }
}

std::string event_without_preset(const Prefix& p) {
    for (std::uint32_t e = 1; e <= p.events; ++e)
        if (p.preset.size(e) == 0) return "Ereignis " + p.event_name(e) + " hat keine Vorbedingung";
    return {};
}

std::string consumed_behind_cutoff(const Prefix& p) {
    for (std::uint32_t c = 1; c <= p.conditions; ++c) {
        const std::uint32_t pre = p.condition_pre[c];
        if (pre && p.cutoff[pre] && p.consumers.size(c) != 0)
            return "Bedingung B" + std::to_string(c) + " hinter dem Cutoff-Ereignis " + p.event_name(pre) +
                   " hat Nachereignisse";
    }
    return {};
}

}  // namespace detail
}  // namespace prefixfile
