#include "fixture.h"

#include "apnn.h"
#include "output.h"

using namespace zbdd;

namespace zbdd_test {

std::string toApnn(const testsupport::TestNet& net) {
    std::string s = "\\beginnet{test}\n";
    for (int p = 0; p < net.places(); ++p)
        s += "\\place{" + net.place_names[p] + "}{\\name{" + net.place_names[p] + "} \\init{" +
             std::to_string(net.m0[p]) + "}}\n";
    for (int t = 0; t < net.transitions(); ++t)
        s += "\\transition{" + net.trans_names[t] + "}{\\name{" + net.trans_names[t] + "}}\n";
    int arc = 0;
    for (int t = 0; t < net.transitions(); ++t) {
        for (int p : net.pre[t])
            s += "\\arc{a" + std::to_string(arc++) + "}{\\from{" + net.place_names[p] + "} \\to{" +
                 net.trans_names[t] + "}}\n";
        for (int p : net.post[t])
            s += "\\arc{a" + std::to_string(arc++) + "}{\\from{" + net.trans_names[t] + "} \\to{" +
                 net.place_names[p] + "}}\n";
    }
    return s + "\\endnet\n";
}

QuietOutput::QuietOutput() : sink_(std::fopen("/dev/null", "w")) { setMessageStream(sink_); }
QuietOutput::~QuietOutput() {
    setMessageStream(nullptr);
    if (sink_) std::fclose(sink_);
}

void setup(NetTables& tables, NetEncoding& enc, const std::string& text, Dialect dialect, std::uint32_t maxNodes,
           std::uint32_t refs) {
    tables.reset();
    tables.dialect = dialect;
    buildNetTables(tables, text, "test.apnn");
    enc.setupEncoding(tables, true, true, ModelSize{maxNodes, 12, 10, 10, 8}, refs);
}

namespace {
void collect(std::uint32_t n, std::vector<int>& m, const NetEncoding& enc, std::set<std::vector<int>>& out) {
    const ZbddManager& z = manager();
    if (n == 0) return;
    if (n == 1) {
        out.insert(m);
        return;
    }
    collect(z.lo(n), m, enc, out);
    const int place = enc.placeOf[z.var(n)];
    m[place] = 1;
    collect(z.hi(n), m, enc, out);
    m[place] = 0;
}
}  // namespace

std::set<std::vector<int>> markings(const Zbdd& set, const NetEncoding& enc) {
    std::set<std::vector<int>> out;
    std::vector<int> m(enc.nP, 0);
    collect(set.node(), m, enc, out);
    return out;
}

}  // namespace zbdd_test
