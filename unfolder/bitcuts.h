// Cuts as bit arrays over the place numbers (-a, -b): their hash, their
// print as place names, and the second cut that -a prints for comparison.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "unfold.h"

namespace trelmik {

// (|P| + 1) / 8 + 1 bytes; bit n (place number n, most significant bit of
// byte n / 8 first) set for every place of the cut (1-based numbers).
std::vector<std::uint8_t> cut_bits(const std::vector<std::uint32_t>& places, std::uint32_t place_count);

// Sum over i of (L − i) × byte i, modulo the bucket count.
std::uint32_t bits_bucket(const std::vector<std::uint8_t>& bits, std::uint32_t buckets);

// "{" the names of the places (1-based numbers, ascending) separated by ",", "}" and a line break.
void print_places(std::FILE* out, const InputNet& net, const std::vector<std::uint32_t>& places);

// -a: the union of the cuts of the pre-events of e's input conditions (the
// initial marking when all of them are initial), without the places of e's
// input arcs and of the initial marking, with the places of its output arcs.
std::vector<std::uint32_t> second_cut(const InputNet& net, const Prefix& pf, std::uint32_t e);

// "Hash table:\n" with the cuts as bit arrays: buckets by the bit-array
// hash, each bucket ascending bytewise, cuts printed as place names; with
// `events` (one list per entry of pf.cuts) the events that reached a cut follow it.
void print_hash_table_bits(std::FILE* out, const InputNet& net, const Prefix& pf,
                           const std::vector<std::vector<std::uint32_t>>* events = nullptr);

}  // namespace trelmik
