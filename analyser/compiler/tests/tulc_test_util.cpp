#include "tulc_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "diag.h"
#include "driver.h"
#include "exprtree.h"
#include "formula.h"
#include "net.h"
#include "parser.h"
#include "ppio.h"

namespace tulctest {

Workspace::Workspace() { testsupport::run("mkdir " + testsupport::shell_quote(dir_.file("x.src"))); }

void Workspace::Write(const std::string& name, const std::string& text) const {
    testsupport::write_file(dir_.file(name), text);
}

std::string Workspace::Read(const std::string& name) const { return testsupport::read_file(dir_.file(name)); }

bool Workspace::Exists(const std::string& name) const {
    std::ifstream f(dir_.file(name));
    return f.good();
}

TulcRun Workspace::Tulc(const std::string& args) const {
    std::vector<std::string> words{"tulc"};
    std::istringstream in(args);
    for (std::string w; in >> w;) words.push_back(w);
    const std::string out = dir_.file(".out"), err = dir_.file(".err");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The child is the program: the run ends with its exit.
        if (chdir(dir_.path().c_str()) != 0) _exit(126);
        setenv("TULMPATH", TULM_SOURCE_PATH, 1);
        int nul = open("/dev/null", O_RDONLY);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (nul < 0 || o < 0 || e < 0) _exit(126);
        dup2(nul, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(&w[0]);
        argv.push_back(nullptr);
        tulc::TulcMain(static_cast<int>(words.size()), argv.data());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    TulcRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = testsupport::read_file(out);
    r.err = testsupport::read_file(err);
    return r;
}

TulcRun Workspace::TulcBinary(const std::string& args) const {
    std::string cmd = "cd " + testsupport::shell_quote(dir_.path()) + " && TULMPATH=" +
                      testsupport::shell_quote(TULM_SOURCE_PATH) + " ASAN_OPTIONS=detect_leaks=0 " +
                      testsupport::shell_quote(std::string(VOS_BIN_DIR) + "/tulc") + " " + args;
    auto r = testsupport::run(cmd);
    return TulcRun{r.exit_code, r.out, r.err};
}

TulcRun Workspace::Compile(const std::string& net, const std::string& args) const {
    Write("x.net", net);
    return Tulc(args);
}

namespace {

class Reader {
public:
    explicit Reader(const std::string& b) : b_(b) {}
    bool Word(std::uint32_t& w) {
        if (pos_ + 4 > b_.size()) return false;
        w = 0;
        for (int i = 3; i >= 0; --i) w = (w << 8) | static_cast<unsigned char>(b_[pos_ + i]);
        pos_ += 4;
        return true;
    }
    bool Record(std::string& r) {
        std::uint32_t n;
        return Word(n) && Take(n, r);
    }
    bool Take(std::uint32_t n, std::string& r) {
        if (pos_ + n > b_.size()) return false;
        r = b_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    std::size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ == b_.size(); }

private:
    const std::string& b_;
    std::size_t pos_ = 0;
};

// Numbers inside a record.
class Bytes {
public:
    explicit Bytes(const std::string& r) : r_(r) {}
    bool Number(std::uint32_t& v) {
        if (i_ >= r_.size()) return false;
        unsigned lead = static_cast<unsigned char>(r_[i_]);
        if (lead >= 1 && lead <= 128) {
            v = lead - 1;
            ++i_;
            return true;
        }
        if (lead < 132 || lead > 135) return false;
        unsigned k = lead - 130;
        if (i_ + k >= r_.size()) return false;
        std::uint64_t x = 0;
        for (unsigned j = k; j >= 1; --j) x = (x << 7) | (static_cast<unsigned char>(r_[i_ + j]) - 1u);
        v = static_cast<std::uint32_t>(x);
        i_ += k + 1;
        return true;
    }
    bool Signed(std::uint32_t& v) {
        std::uint32_t c;
        if (!Number(c)) return false;
        v = c < 16 ? c : c < 272 ? 15u - c : c - 256u;
        return true;
    }
    bool Byte(unsigned char b) {
        if (i_ < r_.size() && static_cast<unsigned char>(r_[i_]) == b) {
            ++i_;
            return true;
        }
        return false;
    }
    bool Done() const { return i_ == r_.size(); }

private:
    const std::string& r_;
    std::size_t i_ = 0;
};

}  // namespace

DatFile ReadDat(const std::string& bytes) {
    DatFile d;
    Reader in(bytes);
    std::string r;
    std::uint32_t n;
    if (!in.Word(d.namesOffset) || !in.Word(d.testerPlace) || !in.Word(d.classes)) return d;
    // Place profile, variable counts, fd counts.
    auto counted = [&](std::vector<std::uint32_t>& out, bool leadingCount, std::size_t count) {
        if (!in.Record(r)) return false;
        Bytes b(r);
        if (leadingCount) {
            if (!b.Number(n)) return false;
            count = n;
        }
        out.resize(count);
        for (auto& a : out)
            if (!b.Number(a)) return false;
        return b.Done();
    };
    if (!counted(d.arity, true, 0) || !counted(d.vars, true, 0) || !counted(d.fd, false, d.vars.size())) return d;
    // Records up to an end word.
    auto records = [&](std::uint32_t end, std::vector<std::string>& out) {
        for (;;) {
            std::uint32_t len;
            if (!in.Word(len)) return false;
            if (len == end) return true;
            std::string rec;
            if (!in.Take(len, rec)) return false;
            out.push_back(rec);
        }
    };
    d.letSets.resize(d.vars.size());
    for (auto& set : d.letSets)
        if (!records(0, set)) return d;
    std::vector<std::string> marking;
    if (!records(0xFFFFFFFFu, marking)) return d;
    for (const auto& rec : marking) {
        Bytes b(rec);
        DatFile::Entry e;
        if (!b.Number(e.place) || e.place >= d.arity.size()) return d;
        std::uint32_t arity = d.arity[e.place];
        if (b.Byte(131) && !b.Number(arity)) return d;
        e.count = 1;
        if (arity == 0) {
            if (!b.Number(e.count)) return d;
            ++e.count;
        } else {
            e.tuple.resize(arity);
            for (auto& v : e.tuple)
                if (!b.Signed(v)) return d;
            if (b.Byte(130)) {
                if (!b.Number(e.count)) return d;
                e.count += 2;
            }
        }
        if (!b.Done()) return d;
        d.marking.push_back(e);
    }
    if (d.testerPlace != 0xFFFFFFFFu) {
        std::vector<std::string> values;
        if (!records(0xFFFFFFFFu, values)) return d;
        for (const auto& rec : values) {
            Bytes b(rec);
            std::uint32_t v, bits;
            if (!b.Signed(v) || !b.Number(bits) || !b.Done()) return d;
            d.testerValues.push_back({v, bits});
        }
        std::uint32_t k1;
        if (!in.Word(k1)) return d;
        if (k1 > 0) {
            d.hasBuchi = true;
            const std::uint32_t k = k1 - 1;
            for (std::uint32_t s = 0; s <= k; ++s) {
                if (!in.Record(r)) return d;
                Bytes b(r);
                std::uint32_t c;
                if (!b.Number(c)) return d;
                std::vector<std::uint32_t> list(c);
                for (auto& x : list)
                    if (!b.Signed(x)) return d;
                if (!b.Done()) return d;
                if (s < k)
                    d.succ.push_back(list);
                else
                    d.initial = list;
            }
            d.labels.resize(k);
            for (auto& l : d.labels)
                if (!in.Word(l)) return d;
        }
    }
    if (in.pos() != d.namesOffset) return d;
    for (std::size_t t = 0; t < d.vars.size(); ++t) {
        if (!in.Record(r)) return d;
        d.transitionNames.push_back(r);
        d.variableNames.emplace_back();
        for (std::uint32_t v = 0; v < d.vars[t]; ++v) {
            if (!in.Record(r)) return d;
            d.variableNames.back().push_back(r);
        }
    }
    std::uint32_t enums;
    if (!in.Word(enums)) return d;
    for (std::uint32_t e = 0; e < enums; ++e) {
        if (!in.Record(r)) return d;
        d.enumNames.push_back(r);
    }
    for (std::uint32_t c = 1; c < d.classes; ++c) {
        if (!in.Record(r)) return d;
        d.classNames.push_back(r);
    }
    for (std::size_t p = 0; p < d.arity.size(); ++p) {
        if (!in.Record(r)) return d;
        d.placeNames.push_back(r);
    }
    d.ok = in.AtEnd();
    return d;
}

std::vector<std::string> Pieces(const std::string& text) {
    auto cls = [](char c) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$') return 1;
        if (c >= '0' && c <= '9') return 2;
        if (c == ' ' || c == '\t') return 3;
        return 0;
    };
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        int k = cls(text[i]);
        std::size_t j = i + 1;
        if (k)
            while (j < text.size() && (cls(text[j]) == k || (k == 1 && cls(text[j]) == 2))) ++j;
        out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string s;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        if (!s.empty()) s += ' ';
        s += buf;
    }
    return s;
}

void ResetCompiler() {
    tulc::DiagInit();
    tulc::ppio_init();
    tulc::NetTablesInit();
    tulc::OpTablesInit();
    tulc::ParserReset();
    tulc::ForFoldAtoms() = false;
    tulc::ForSimplifyRules() = true;
}

void AddPlace(const std::string& name, const std::vector<std::pair<std::vector<std::uint32_t>, std::uint32_t>>& marking) {
    tulc::Marking m;
    for (const auto& [tuple, count] : marking) m.Add(tulc::Marking::Single(tuple, count));
    m.Normalize();
    auto& net = tulc::Net();
    net.placeIndex[name] = static_cast<std::uint32_t>(net.places.size());
    auto p = tulc::PlaceCons(name, {}, {}, std::move(m));
    p->arity = marking.empty() ? -1 : static_cast<std::int32_t>(marking.front().first.size());
    net.places.push_back(std::move(p));
}

}  // namespace tulctest
