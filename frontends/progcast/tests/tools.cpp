#include "tools.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace progcast_test {

std::string voshome() { return std::string(VOS_SOURCE_DIR) + "/frontends/templates"; }

std::string program(const std::string& name) {
    return "ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" VOSHOME=" + testsupport::shell_quote(voshome()) + " " +
           testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/" + name);
}

testsupport::RunResult progcast(const std::string& args) { return testsupport::run(program("progcast") + " " + args); }

LowNet read_low_net(const std::string& path) {
    LowNet n;
    std::string error;
    auto net = testsupport::read_vos(path, &error);
    if (!net) throw std::runtime_error("cannot read " + path + ": " + error);
    n.net = *net;
    std::istringstream in(testsupport::read_file(path));
    std::string line;
    bool places = false;
    while (std::getline(in, line)) {
        if (line == "PL") {
            places = true;
            continue;
        }
        if (line == "TR") break;
        if (!places) continue;
        std::string label;
        bool exit = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                std::size_t end = line.find('"', i + 1);
                if (i > 0 && line[i - 1] == 'b') label = line.substr(i + 1, end - i - 1);
                i = end;
            } else if (c == 'x' && (i + 1 == line.size() || line[i + 1] != '"')) {
                exit = true;
            }
        }
        n.labels.push_back(label);
        n.exit.push_back(exit);
    }
    if (n.labels.size() != static_cast<std::size_t>(n.net.places())) throw std::runtime_error("place count of " + path);
    return n;
}

namespace {
std::string value_of(std::string v) {
    if (!v.empty() && v[0] == '(') v = v.substr(1, v.find(',') - 1);
    if (v == "tt") return std::to_string(oracle::TT);
    if (v == "ff") return std::to_string(oracle::FF);
    return v;
}
}  // namespace

oracle::Behaviour behaviour(const LowNet& n, const std::set<std::string>& observed, bool* safe, bool* deadlock) {
    testsupport::StateSpace ss = testsupport::explore(n.net);
    if (!ss.complete) throw std::runtime_error("state space too large");
    if (safe) *safe = ss.safe;
    if (deadlock) *deadlock = testsupport::has_deadlock(ss);
    oracle::Behaviour b;
    b.states = ss.states.size();
    auto valuation = [&](const testsupport::Marking& m) {
        std::vector<std::string> v;
        for (std::size_t p = 0; p < m.size(); ++p) {
            if (m[p] == 0) continue;
            const std::string& l = n.labels[p];
            std::size_t eq = l.find('=');
            if (eq == std::string::npos || !observed.count(l.substr(0, eq))) continue;
            v.push_back(l.substr(0, eq) + "=" + value_of(l.substr(eq + 1)));
        }
        std::sort(v.begin(), v.end());
        return v;
    };
    for (std::size_t s = 0; s < ss.states.size(); ++s) {
        const testsupport::Marking& m = ss.states[s];
        b.reachable.insert(valuation(m));
        if (!ss.succ[s].empty()) continue;
        bool only_exits = true;
        for (std::size_t p = 0; p < m.size(); ++p) only_exits = only_exits && (m[p] == 0 || n.exit[p]);
        if (only_exits) b.terminates = true;
        else b.deadlocks.insert(valuation(m));
    }
    return b;
}

}  // namespace progcast_test
