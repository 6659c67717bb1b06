#include "enginetest.h"

#include <dirent.h>

#include <cstdio>
#include <random>
#include <stdexcept>

#include "alloc.h"
#include "encode.h"
#include "enginemain.h"
#include "invoc.h"

namespace enginetest {

namespace {

std::uint32_t WordAt(const std::string& bytes, std::size_t at) {
    std::uint32_t w = 0;
    for (int k = 3; k >= 0; --k)
        w = w << 8 | static_cast<unsigned char>(bytes[at + k]);
    return w;
}

}  // namespace

RawGraph ReadRaw(const std::string& base) {
    RawGraph g;
    std::string nodes = testsupport::read_file(base + ".gph");
    std::string arrows = testsupport::read_file(base + ".aws");
    std::string addrs = testsupport::read_file(base + ".adr");
    if (nodes.size() < 84) {
        g.error = "short nodes file";
        return g;
    }
    for (int w = 0; w < 21; ++w)
        g.header.push_back(WordAt(nodes, 4 * w));
    std::uint32_t flags = g.header[0];
    bool dfs = flags & 0x40, free = flags & 0x80, check = dfs && (flags & 0x2000);
    unsigned comp = !dfs ? 3 : check ? 5 : 4;
    unsigned nodeFields = comp + 5, arrowFields = free ? 6 : 5;
    if (nodes.size() != g.header[9] || arrows.size() < g.header[10] || addrs.size() < 4UL * g.header[1]) {
        g.error = "file lengths differ from the header";
        return g;
    }
    for (std::uint32_t o = 0; o < g.header[1]; ++o) {
        RawNode n;
        n.address = WordAt(addrs, 4 * o);
        if (n.address + 4UL * nodeFields > nodes.size()) {
            g.error = "node address out of the file";
            return g;
        }
        n.ordinal = WordAt(nodes, n.address);
        n.count = WordAt(nodes, n.address + 4);
        n.first = WordAt(nodes, n.address + 8);
        n.component = WordAt(nodes, n.address + 4 * comp);
        n.predecessor = WordAt(nodes, n.address + 4 * (comp + 1));
        n.left = WordAt(nodes, n.address + 4 * (comp + 2));
        std::uint32_t length = WordAt(nodes, n.address + 4 * (comp + 4));
        n.contents = nodes.substr(n.address + 4UL * nodeFields, length);
        g.byAddress[n.address] = o;
        g.nodes.push_back(n);
    }
    for (RawNode& n : g.nodes) {
        if (n.count == 0 || n.count == 0xFFFFFFFFu)
            continue;
        std::uint32_t aw = n.first;
        for (std::uint32_t k = 0; k < n.count; ++k) {
            if (aw + 4UL * arrowFields > g.header[10]) {
                g.error = "arrow address out of the file";
                return g;
            }
            RawArrow a;
            a.address = aw;
            a.word0 = WordAt(arrows, aw);
            a.source = WordAt(arrows, aw + 4);
            a.previous = WordAt(arrows, aw + 8);
            a.target = WordAt(arrows, aw + 12);
            a.next = free ? WordAt(arrows, aw + 16) : 0;
            std::uint32_t length = WordAt(arrows, aw + 4 * (arrowFields - 1));
            a.label = arrows.substr(aw + 4UL * arrowFields, length);
            n.arrows.push_back(a);
            aw = free ? a.next : aw + 4 * arrowFields + length;
        }
    }
    std::uint32_t t = g.header[7];
    for (std::uint32_t k = 0; k < g.header[6]; ++k) {
        auto it = g.byAddress.find(t);
        if (it == g.byAddress.end()) {
            g.error = "terminal chain leaves the nodes";
            return g;
        }
        g.terminal.push_back(static_cast<std::uint32_t>(it->second));
        t = g.nodes[it->second].first;
    }
    g.ok = true;
    return g;
}

testsupport::Marking Decode(const std::string& contents, int places) {
    testsupport::Marking m(places, 0);
    const auto* p = reinterpret_cast<const unsigned char*>(contents.data());
    const unsigned char* end = p + contents.size();
    while (p < end) {
        std::uint32_t slot = 0, code = 0;
        if (!NumScan(&p, end, &slot) || static_cast<int>(slot) >= places)
            return {};
        int count = 1;
        if (p < end && *p == NUM_COUNT) {
            ++p;
            if (!NumScan(&p, end, &code))
                return {};
            count = static_cast<int>(code) + 2;
        }
        m[slot] = count;
    }
    return m;
}

testsupport::Marking DecodeState(const std::string& contents, int places) {
    testsupport::Marking m(places, 0);
    const auto* p = reinterpret_cast<const unsigned char*>(contents.data());
    const unsigned char* end = p + contents.size();
    for (int place = 0; place < places; ++place) {
        if (p < end && *p != NUM_END_PLACE) {
            std::uint32_t code = 0;
            if (!NumScan(&p, end, &code))
                return {};
            m[place] = static_cast<int>(code) + 1;
        }
        if (p == end || *p++ != NUM_END_PLACE)
            return {};
    }
    return p == end ? m : testsupport::Marking{};
}

std::vector<std::uint32_t> LabelValues(const std::string& label) {
    std::vector<std::uint32_t> values;
    const auto* p = reinterpret_cast<const unsigned char*>(label.data());
    const unsigned char* end = p + label.size();
    while (p < end) {
        std::uint32_t v = 0;
        if (!NumScan(&p, end, &v))
            return {};
        values.push_back(v);
    }
    return values;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char b : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

namespace {

engine::Options Parse(const std::string& base, const std::vector<std::string>& options) {
    // Small memory copies and hash: the defaults are sized for large graphs.
    std::vector<std::string> args = {"ptanalyser", "-m", "200000", "-h", "4096"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(base);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    engine::Options o;
    std::string error;
    if (!engine::ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error))
        throw std::runtime_error(error);
    return o;
}

// Runs body with the net in place and _out in a scratch file.
template <typename Body>
void InProcess(const ptnet::Net& net, const std::string& base, bool withDat, Body body) {
    ptnet::Write(net, base, withDat);
    ptnet::current = &net;
    myName = "ptanalyser";
    FILE* saved = _out;
    _out = std::fopen((base + ".out").c_str(), "w");
    body();
    std::fclose(_out);
    _out = saved;
    ptnet::current = nullptr;
}

}  // namespace

void Generate(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
              bool withDat) {
    engine::Options o = Parse(base, options);
    InProcess(net, base, withDat, [&] {
        engine::Start(o);
        engine::Generate(0);
        engine::Finish();
        engine::Release();
    });
}

namespace {

// Generates up to `first` nodes, then interrupts the run (or finishes it
// when the graph is complete by then).
void GenerateUpTo(const engine::Options& o, unsigned long first) {
    engine::Start(o);
    if (!engine::Generate(first))
        engine::Interrupt();
    else
        engine::Finish();
    engine::Release();
}

}  // namespace

void GenerateInterrupted(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
                         unsigned long first) {
    engine::Options o = Parse(base, options);
    InProcess(net, base, true, [&] {
        GenerateUpTo(o, first);
        if (testsupport::read_file(base + ".hsh").empty())
            return;
        o.cont = true;
        engine::Start(o);
        engine::Generate(0);
        engine::Finish();
        engine::Release();
    });
}

void Interrupted(const ptnet::Net& net, const std::string& base, const std::vector<std::string>& options,
                 unsigned long first) {
    const engine::Options o = Parse(base, options);
    InProcess(net, base, true, [&] { GenerateUpTo(o, first); });
}

testsupport::TestNet RandomNet(std::uint64_t seed, int maxPlaces, int maxTrans, std::size_t maxStates) {
    for (std::uint64_t s = seed * 1000003;; ++s) {
        std::mt19937_64 rng(s);
        auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        testsupport::TestNet net;
        int places = pick(2, maxPlaces), trans = pick(1, maxTrans);
        for (int p = 0; p < places; ++p) {
            net.place_names.push_back("p" + std::to_string(p));
            net.m0.push_back(pick(0, 1) == 0 ? pick(1, 3) : 0);
        }
        for (int t = 0; t < trans; ++t) {
            net.trans_names.push_back("t" + std::to_string(t));
            std::vector<int> pre, post, preW, postW;
            std::set<int> used;
            // Mostly no more tokens out than in, so that most nets are
            // bounded; now and then one more.
            int budget = pick(0, 7) == 0 ? 1 : 0;
            for (int k = pick(1, 2); k > 0; --k) {
                int p = pick(0, places - 1);
                if (!used.insert(p).second)
                    continue;
                pre.push_back(p);
                preW.push_back(pick(1, 3));
                budget += preW.back();
                int kind = pick(0, 4);
                if (kind == 0) {  // a test arc: the same weight back
                    post.push_back(p);
                    postW.push_back(preW.back());
                    budget -= preW.back();
                } else if (kind == 1) {  // a double arc
                    post.push_back(p);
                    postW.push_back(pick(1, 3));
                    budget -= postW.back();
                }
            }
            for (int k = pick(1, 2); k > 0 && budget > 0; --k) {
                int p = pick(0, places - 1);
                if (!used.insert(p).second)
                    continue;
                post.push_back(p);
                postW.push_back(pick(1, std::min(3, budget)));
                budget -= postW.back();
            }
            net.pre.push_back(pre);
            net.post.push_back(post);
            net.pre_weight.push_back(preW);
            net.post_weight.push_back(postW);
        }
        testsupport::StateSpace ss = testsupport::explore(net, maxStates);
        if (ss.complete && ss.states.size() >= 8)
            return net;
    }
}

testsupport::RunResult Analyser(const std::string& dir, const std::string& base, const std::string& args) {
    std::string bin = VOS_BIN_DIR;
    std::string command = "cd " + testsupport::shell_quote(dir) + " && PTNET_ARCS=" +
                          testsupport::shell_quote(base + ".arcs") + " TULMPATH=" +
                          testsupport::shell_quote(TULM_SOURCE_PATH) +
                          " ASAN_OPTIONS=detect_leaks=0 " + testsupport::shell_quote(bin + "/ptanalyser") + " " + args +
                          " " + base;
    return testsupport::run(command);
}

testsupport::RunResult Dump(const std::string& dir, const std::string& base) {
    std::string command = "cd " + testsupport::shell_quote(dir) + " && ASAN_OPTIONS=detect_leaks=0 " +
                          testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/gphdump") + " " + base;
    return testsupport::run(command);
}

int Tulc(const std::string& dir, const std::string& base, const std::string& text) {
    testsupport::write_file(dir + "/" + base + ".net", text);
    std::string command = "cd " + testsupport::shell_quote(dir) + " && mkdir -p " + base + ".src && TULMPATH=" +
                          testsupport::shell_quote(TULM_SOURCE_PATH) +
                          " ASAN_OPTIONS=detect_leaks=0 " + testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/tulc") +
                          " " + base;
    return testsupport::run(command).exit_code;
}

std::map<std::string, std::string> Files(const std::string& dir) {
    std::map<std::string, std::string> files;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return files;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            files[name] = testsupport::read_file(dir + "/" + name);
    }
    closedir(d);
    return files;
}

}  // namespace enginetest
