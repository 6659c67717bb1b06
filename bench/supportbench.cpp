// Benchmark of the analyser support library: state strings, AVL sets,
// radix tables and binary file reads, each against the standard library
// where it has a counterpart.  Not part of the tests.
//
//   supportbench [--states N] [--keys N] [--gets N] [--file-mb N] [--dir D]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include "alloc.h"
#include "avlset.h"
#include "fileaux.h"
#include "inst.h"
#include "mark.h"
#include "radix.h"
}

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void Row(const char* what, unsigned long count, double seconds, const char* extra = "") {
    std::printf("%-34s %10lu %9.3f s %9.1f ns/op  %s\n", what, count, seconds, seconds * 1e9 / count, extra);
}

// States of a net of 16 places, arities 0 to 2, a few tokens each.
void States(unsigned long count) {
    std::mt19937 random(1);
    const uint32_t places = 16;
    InsAlloc(places, 0);
    for (uint32_t p = 0; p < places; ++p)
        _magProfile[p] = p % 3;
    const int pool = 1000;
    std::vector<STATE*> states;
    for (int s = 0; s < pool; ++s) {
        STATE* state = static_cast<STATE*>(Etacolla(places * sizeof(STATE)));
        for (uint32_t p = 0; p < places; ++p) {
            state[p] = LstCreate(&multupTools);
            for (int k = static_cast<int>(random() % 4); k > 0; --k) {
                TUPLE* tuple = TupCons(_magProfile[p]);
                for (uint32_t i = 0; i < tuple->_arity; ++i)
                    tuple->_array[i] = random() % 300 - 20;
                MarInsert(state[p], MultupCons(1 + random() % 3, tuple));
            }
        }
        states.push_back(state);
    }
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    unsigned long bytes = 0;
    std::vector<std::string> strings;
    auto start = Clock::now();
    for (unsigned long i = 0; i < count; ++i)
        bytes += static_cast<unsigned long>(StaEncode(states[i % pool], &buffer, &size));
    double encode = Seconds(start);
    for (int s = 0; s < pool; ++s) {
        StaEncode(states[s], &buffer, &size);
        strings.emplace_back(reinterpret_cast<char*>(buffer));
    }
    STATE* decoded = static_cast<STATE*>(Etacolla(places * sizeof(STATE)));
    start = Clock::now();
    for (unsigned long i = 0; i < count; ++i) {
        StaDecode(reinterpret_cast<unsigned char*>(strings[i % pool].data()), decoded);
        for (uint32_t p = 0; p < places; ++p)
            LstDestroy(decoded[p], TRUE);
    }
    double decode = Seconds(start);
    char extra[64];
    std::snprintf(extra, sizeof extra, "%.1f bytes/state", static_cast<double>(bytes) / count);
    Row("StaEncode (16 places)", count, encode, extra);
    Row("StaDecode (16 places)", count, decode);
    Deallocate(decoded);
    Deallocate(buffer);
    for (STATE* state : states)
        StaDiscard(state);
}

void Sets(unsigned long count) {
    std::mt19937_64 random(2);
    std::vector<unsigned long> keys(count);
    for (unsigned long& key : keys)
        key = random();
    AVLSET* set = BalTrCreate(&lngBalTools);
    auto start = Clock::now();
    for (unsigned long key : keys)
        BalTrInsert(set, LngCons(key), &key, TRUE);
    Row("AVL set: insert", count, Seconds(start));
    start = Clock::now();
    unsigned long found = 0;
    for (unsigned long key : keys)
        found += BalTrElement(set, &key) != nullptr;
    Row("AVL set: find", count, Seconds(start));
    start = Clock::now();
    for (unsigned long i = 0; i < count; i += 2)
        BalTrDelete(set, nullptr, &keys[i], TRUE);
    Row("AVL set: delete half", count / 2, Seconds(start));
    BalTrDestroy(set, TRUE);

    std::set<unsigned long> reference;
    start = Clock::now();
    for (unsigned long key : keys)
        reference.insert(key);
    Row("std::set: insert", count, Seconds(start));
    start = Clock::now();
    for (unsigned long key : keys)
        found += reference.count(key);
    Row("std::set: find", count, Seconds(start));
    start = Clock::now();
    for (unsigned long i = 0; i < count; i += 2)
        reference.erase(keys[i]);
    Row("std::set: delete half", count / 2, Seconds(start));
    if (found != 2 * count)
        std::printf("(found %lu of %lu)\n", found, 2 * count);
}

void Gets(unsigned long count) {
    const unsigned long slots = 4194304;
    RADIX* table = RadixCreate(slots, nullptr);
    std::vector<void*> reference(slots);
    static char cells[64];
    for (unsigned long n = 0; n < slots; ++n) {
        RadixPut(table, cells + n % 64, n);
        reference[n] = cells + n % 64;
    }
    std::mt19937 random(3);
    std::vector<unsigned long> probes(1 << 20);
    for (unsigned long& probe : probes)
        probe = random() % slots;
    uintptr_t sum = 0;
    auto start = Clock::now();
    for (unsigned long i = 0; i < count; ++i)
        sum += reinterpret_cast<uintptr_t>(RadixGet(table, probes[i & (probes.size() - 1)]));
    Row("RadixGet (4194304 slots)", count, Seconds(start));
    start = Clock::now();
    for (unsigned long i = 0; i < count; ++i)
        sum -= reinterpret_cast<uintptr_t>(reference[probes[i & (probes.size() - 1)]]);
    Row("std::vector index", count, Seconds(start));
    if (sum != 0)
        std::printf("(radix and vector differ)\n");
    RadixDestroy(table, FALSE);
}

void Files(unsigned long megabytes, const std::string& dir) {
    std::string name = dir + "/supportbench.bin";
    unsigned long length = megabytes << 20;
    std::vector<unsigned char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 7);
    BINARYFILE file = CreateUpdate(name.c_str());
    if (file < 0)
        return;
    auto start = Clock::now();
    for (unsigned long m = 0; m < megabytes; ++m)
        WriteBytes(block.data(), block.size(), file);
    Row("WriteBytes (1 MiB blocks), MiB", megabytes, Seconds(start));
    SeekAbs(file, 0);
    start = Clock::now();
    for (unsigned long m = 0; m < megabytes; ++m)
        ReadBytes(block.data(), block.size(), file);
    Row("ReadBytes (1 MiB blocks), MiB", megabytes, Seconds(start));
    start = Clock::now();
    MMFILE* mm = MapToMem(StrCp(name.c_str()), file, length, length);
    double load = Seconds(start);
    if (mm != nullptr) {
        Row("MapToMem, MiB", megabytes, load);
        // Twice: the first pass may still pay for the block's pages.
        unsigned char record[64];
        for (const char* pass : {"MapReBytes (64 bytes), first pass", "MapReBytes (64 bytes), second pass"}) {
            MapSkAbs(mm, 0);
            start = Clock::now();
            for (unsigned long at = 0; at < length; at += sizeof record)
                MapReBytes(record, sizeof record, mm);
            Row(pass, length / sizeof record, Seconds(start));
        }
        Unmap(mm, FALSE);
    }
    OwnClose(file);
    std::remove(name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long states = 1000000, keys = 1000000, gets = 100000000, megabytes = 256;
    std::string dir = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        unsigned long value = std::strtoul(argv[i + 1], nullptr, 10);
        if (option == "--states")
            states = value;
        else if (option == "--keys")
            keys = value;
        else if (option == "--gets")
            gets = value;
        else if (option == "--file-mb")
            megabytes = value;
        else if (option == "--dir")
            dir = argv[i + 1];
    }
    std::printf("%-34s %10s %11s %15s\n", "operation", "count", "time", "per op");
    States(states);
    Sets(keys);
    Gets(gets);
    Files(megabytes, dir);
    return 0;
}
