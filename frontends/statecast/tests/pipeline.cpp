#include "pipeline.h"

#include <algorithm>
#include <set>


namespace statecast_test {

using testsupport::shell_quote;

std::map<std::string, std::string> ll_labels(const std::string& text) {
    std::map<std::string, std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() < 3 || line[0] != '"') continue;
        std::size_t close = line.find('"', 1);
        if (close == std::string::npos) continue;
        std::string name = line.substr(1, close - 1);
        std::size_t b = line.find("b\"", close);
        if (b == std::string::npos) continue;
        std::size_t e = line.find('"', b + 2);
        out[name] = line.substr(b + 2, e - b - 2);
    }
    return out;
}

bool split_label(const std::string& label, std::string& name, std::vector<std::string>& values) {
    std::size_t eq = label.rfind('=');
    if (eq == std::string::npos) return false;
    name = label.substr(0, eq);
    std::string v = label.substr(eq + 1);
    values.clear();
    if (!v.empty() && v.front() == '(' && v.back() == ')') v = v.substr(1, v.size() - 2);
    std::size_t from = 0;
    for (;;) {
        std::size_t comma = v.find(',', from);
        values.push_back(v.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return true;
}

std::unique_ptr<Run> pipeline(const std::string& spec, const std::string& options, std::size_t max_states) {
    auto run = std::make_unique<Run>();
    testsupport::write_file(run->file(".if"), spec);
    std::string bin = VOS_BIN_DIR;
    std::string cd = "cd " + shell_quote(run->dir.path()) + " && ";
    run->statecast = testsupport::run(cd + "VOSHOME=" + shell_quote(STATECAST_VOSHOME) + " " + bin +
                                      "/statecast " + options + " spec.if");
    if (run->statecast.exit_code != 0) return run;
    run->flatnet = testsupport::run(cd + bin + "/flatnet spec.hl_net");
    if (run->flatnet.exit_code != 0) return run;
    std::string error;
    auto net = testsupport::read_vos(run->file(".ll_net"), &error);
    if (!net) {
        run->flatnet.err += "unreadable low-level net: " + error;
        run->flatnet.exit_code = -1;
        return run;
    }
    run->net = *net;
    auto labels = ll_labels(testsupport::read_file(run->file(".ll_net")));
    for (const auto& n : run->net.place_names) run->place_label.push_back(labels[n]);
    for (const auto& n : run->net.trans_names) run->trans_label.push_back(labels[n]);
    run->space = testsupport::explore(run->net, max_states);
    run->expanded = true;
    return run;
}

std::string translate(const std::string& spec, const std::string& options, std::string* err) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("spec.if"), spec);
    auto r = testsupport::run("cd " + shell_quote(dir.path()) + " && VOSHOME=" + shell_quote(STATECAST_VOSHOME) +
                              " " + VOS_BIN_DIR + "/statecast " + options + " spec.if");
    if (err) *err = r.err;
    if (r.exit_code != 0) return {};
    return testsupport::read_file(dir.file("spec.hl_net"));
}

std::vector<std::string> Run::fired() const {
    std::set<std::string> seen;
    for (const auto& edges : space.succ)
        for (const auto& e : edges) seen.insert(trans_label[static_cast<std::size_t>(e.first)]);
    return {seen.begin(), seen.end()};
}

std::set<std::string> Run::marked(const std::string& name) const {
    std::vector<std::string> values(place_label.size());
    std::vector<bool> of_name(place_label.size(), false);
    for (std::size_t p = 0; p < place_label.size(); ++p) {
        std::string n;
        std::vector<std::string> v;
        if (!split_label(place_label[p], n, v) || n != name) continue;
        of_name[p] = true;
        for (std::size_t i = 0; i < v.size(); ++i) values[p] += (i ? "," : "") + v[i];
    }
    std::set<std::string> out;
    for (const auto& m : space.states)
        for (std::size_t p = 0; p < m.size(); ++p)
            if (m[p] > 0 && of_name[p]) out.insert(values[p]);
    return out;
}

bool Run::marks_together(const std::vector<std::string>& labels) const {
    std::vector<int> places;
    for (const auto& l : labels) {
        auto it = std::find(place_label.begin(), place_label.end(), l);
        if (it == place_label.end()) return false;
        places.push_back(static_cast<int>(it - place_label.begin()));
    }
    for (const auto& m : space.states) {
        bool all = true;
        for (int p : places) all = all && m[static_cast<std::size_t>(p)] > 0;
        if (all) return true;
    }
    return false;
}

std::vector<int> Run::transitions(const std::string& prefix) const {
    std::vector<int> out;
    for (std::size_t t = 0; t < trans_label.size(); ++t)
        if (trans_label[t].compare(0, prefix.size(), prefix) == 0) out.push_back(static_cast<int>(t));
    return out;
}

}  // namespace statecast_test
