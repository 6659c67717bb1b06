#include "bitcuts.h"

#include <algorithm>

namespace trelmik {

std::vector<std::uint8_t> cut_bits(const std::vector<std::uint32_t>& places, std::uint32_t place_count) {
    std::vector<std::uint8_t> bits((place_count + 1) / 8 + 1, 0);
    for (std::uint32_t n : places)
        if (n / 8 < bits.size()) bits[n / 8] |= static_cast<std::uint8_t>(128u >> (n % 8));
    return bits;
}

std::uint32_t bits_bucket(const std::vector<std::uint8_t>& bits, std::uint32_t buckets) {
    if (buckets == 0) return 0;
    const std::uint64_t L = bits.size();
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < L; ++i) sum = (sum + (L - i) * bits[i]) % buckets;
    return static_cast<std::uint32_t>(sum);
}

void print_places(std::FILE* out, const InputNet& net, const std::vector<std::uint32_t>& places) {
    std::fputc('{', out);
    bool first = true;
    for (std::uint32_t n : places) {
        if (n == 0 || n > net.places()) continue;
        if (!first) std::fputc(',', out);
        std::fputs(net.place_names[n - 1].c_str(), out);
        first = false;
    }
    std::fputs("}\n", out);
}

std::vector<std::uint32_t> second_cut(const InputNet& net, const Prefix& pf, std::uint32_t e) {
    std::vector<std::uint8_t> in(net.places() + 1, 0);
    bool any_pre = false;
    for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
        const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
        if (g == 0) continue;
        any_pre = true;
        for (std::uint32_t p : cut_of(net, pf, g)) in[p] = 1;
    }
    if (!any_pre)
        for (std::uint32_t p : cut_of(net, pf, 0)) in[p] = 1;
    const std::uint32_t t = pf.ev_trans[e - 1];
    for (std::uint32_t p : net.pre[t]) in[p + 1] = 0;
    for (std::uint32_t p = 0; p < net.places(); ++p)
        if (net.marking[p] != 0) in[p + 1] = 0;
    for (std::uint32_t p : net.post[t]) in[p + 1] = 1;
    std::vector<std::uint32_t> out;
    for (std::uint32_t p = 1; p <= net.places(); ++p)
        if (in[p]) out.push_back(p);
    return out;
}

void print_hash_table_bits(std::FILE* out, const InputNet& net, const Prefix& pf,
                           const std::vector<std::vector<std::uint32_t>>* events) {
    std::fputs("Hash table:\n", out);
    const std::uint32_t nb = pf.buckets ? pf.buckets : 1;
    const std::size_t n = pf.cuts.size();
    std::vector<std::vector<std::uint32_t>> cuts(n);
    std::vector<std::vector<std::uint8_t>> bits(n);
    std::vector<std::uint32_t> bucket(n), order(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        cuts[i] = cut_of(net, pf, pf.cuts[i].first);
        bits[i] = cut_bits(cuts[i], net.places());
        bucket[i] = bits_bucket(bits[i], nb);
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (bucket[a] != bucket[b]) return bucket[a] < bucket[b];
        return bits[a] < bits[b];
    });
    std::size_t k = 0;
    for (std::uint32_t i = 0; i < nb; ++i) {
        std::fprintf(out, "##%3u. ", i);
        bool first = true;
        for (; k < order.size() && bucket[order[k]] == i; ++k) {
            if (!first) std::fputs("       ", out);
            first = false;
            std::fputc('{', out);
            bool first_name = true;
            for (std::uint32_t p : cuts[order[k]]) {
                if (!first_name) std::fputc(',', out);
                std::fputs(net.place_names[p - 1].c_str(), out);
                first_name = false;
            }
            std::fputc('}', out);
            if (events && order[k] < events->size() && !(*events)[order[k]].empty()) {
                const std::vector<std::uint32_t>& list = (*events)[order[k]];
                std::fputs("     ->{", out);
                for (std::size_t j = 0; j < list.size(); ++j) std::fprintf(out, j ? ",%u" : "%u", list[j]);
                std::fputc('}', out);
            }
            std::fputc('\n', out);
        }
        if (first) std::fputc('\n', out);
    }
}

}  // namespace trelmik
