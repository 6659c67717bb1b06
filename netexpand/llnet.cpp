#include "llnet.h"

namespace flatnet {

PlaceView view_of(const LLPlace& p) {
    const HLPlace& h = *p.hl;
    const std::vector<ValueSet>& sets = h.type.components;
    PlaceView view;
    view.x = h.x;
    view.y = h.y;
    // The tuple's positions, the last component varying fastest; component
    // k moves the place by its position times the offset of k mod 3.
    static const int offset[3][2] = {{0, 24}, {24, 0}, {12, 12}};
    std::vector<std::size_t> index(sets.size());
    std::uint64_t rest = p.tuple;
    for (std::size_t j = sets.size(); j-- > 0;) {
        index[j] = static_cast<std::size_t>(rest % sets[j].size());
        rest /= sets[j].size();
    }
    if (sets.size() > 1) view.values = "(";
    for (std::size_t j = 0; j < sets.size(); ++j) {
        view.x += static_cast<std::int64_t>(index[j]) * offset[j % 3][0];
        view.y += static_cast<std::int64_t>(index[j]) * offset[j % 3][1];
        if (j) view.values += ',';
        append_value_name(view.values, sets[j][index[j]]);
    }
    if (sets.size() > 1) view.values += ')';
    return view;
}

std::string label_of(const LLPlace& p, const PlaceView& view) {
    return p.hl->instances > 1 ? p.hl->label + "=" + view.values : p.hl->label;
}

}  // namespace flatnet
