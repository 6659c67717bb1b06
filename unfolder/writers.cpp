#include "writers.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>
#include <numeric>

#include "outfile.h"

namespace trelmik {

std::string complete_name(const std::string& name, const std::string& ext) {
    if (name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
        return name;
    return name + ext;
}

OutFile::OutFile(const std::string& path, bool binary) : path_(path) {
    f_ = outfile::open(path, binary ? "wb" : "w");
    if (!f_) {
        std::fprintf(stderr, "error: cannot open file '%s'.\n", path.c_str());
        throw ExitRequest{5};
    }
}

OutFile::~OutFile() {
    if (f_) std::fclose(f_);
}

void OutFile::fail() {
    if (f_) {
        std::fclose(f_);
        f_ = nullptr;
    }
    std::fprintf(stderr, "error: cannot write file '%s'.\n", path_.c_str());
    throw ExitRequest{5};
}

void OutFile::write(const void* data, std::size_t n) {
    if (n && std::fwrite(data, 1, n, f_) != n) fail();
}

void OutFile::printf(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    int r = std::vfprintf(f_, fmt, ap);
    va_end(ap);
    if (r < 0) fail();
}

void OutFile::close() {
    if (!f_) return;
    bool bad = std::ferror(f_) != 0;
    bad |= std::fclose(f_) != 0;
    f_ = nullptr;
    if (bad) fail();
}

int decimal_digits(std::uint64_t v) {
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

TextOut& TextOut::number(std::uint64_t v, int width) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    pad(static_cast<std::size_t>(n), width);
    while (n > 0) buf_.push_back(digits[--n]);
    return spill();
}

TextOut& TextOut::name(char prefix, std::uint64_t v, int width) {
    buf_.push_back(prefix);
    number(v);
    return pad(static_cast<std::size_t>(1 + decimal_digits(v)), width).spill();
}

TextOut& TextOut::left(std::string_view s, int width) {
    buf_.append(s);
    return pad(s.size(), width).spill();
}

void TextOut::flush() {
    f_.write(buf_.data(), buf_.size());
    buf_.clear();
}

// ---------------------------------------------------------------- .mci

namespace {

// Little-endian numbers and zero-ended strings, staged in a fixed buffer
// that goes to the file whenever it is full.
class LeBuffer {
public:
    explicit LeBuffer(OutFile& f) : f_(f) {}
    void u32(std::uint32_t v) {
        if (used_ + 4 > sizeof buf_) flush();
        buf_[used_++] = static_cast<unsigned char>(v);
        buf_[used_++] = static_cast<unsigned char>(v >> 8);
        buf_[used_++] = static_cast<unsigned char>(v >> 16);
        buf_[used_++] = static_cast<unsigned char>(v >> 24);
    }
    void byte(unsigned char c) {
        if (used_ == sizeof buf_) flush();
        buf_[used_++] = c;
    }
    void bytes(std::string_view s) {
        for (std::size_t from = 0; from < s.size();) {
            if (used_ == sizeof buf_) flush();
            const std::size_t n = std::min(s.size() - from, sizeof buf_ - used_);
            std::memcpy(buf_ + used_, s.data() + from, n);
            used_ += n;
            from += n;
        }
    }
    void flush() {
        f_.write(buf_, used_);
        used_ = 0;
    }

private:
    OutFile& f_;
    unsigned char buf_[1 << 16];
    std::size_t used_ = 0;
};

}  // namespace

void write_mci(const std::string& name, const InputNet& net, const Prefix& pf,
               const Configurations& configs) {
    const std::string path = complete_name(name, ".mci");
    OutFile f(path, true);
    LeBuffer b(f);
    b.u32(pf.conditions());
    b.u32(pf.events());
    for (std::uint32_t e = 0; e < pf.events(); ++e) b.u32(pf.ev_trans[e] + 1);
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
        b.u32(pf.cond_place[c - 1] + 1);
        b.u32(pf.cond_pre[c - 1]);
        pf.for_each_consumer(c, [&](std::uint32_t e) { b.u32(e); });
        b.u32(0);
    }
    for (const auto& co : pf.cutoffs) {
        b.u32(co.first);
        b.u32(co.second);
    }
    b.u32(0);
    if (configs.computed) {
        for (const auto& set : configs.sets) {
            for (std::uint32_t e : set) b.u32(e);
            b.u32(0);
        }
    }
    b.u32(0);
    b.u32(net.places());
    b.u32(net.transitions());
    std::uint16_t maxlen = 0;
    for (const auto& s : net.place_names) maxlen = std::max(maxlen, static_cast<std::uint16_t>(s.size()));
    for (const auto& s : net.trans_names) maxlen = std::max(maxlen, static_cast<std::uint16_t>(s.size()));
    b.u32(maxlen);
    // Each name with its closing NUL, as the tables hold them.
    b.bytes(net.place_names.bytes());
    b.byte(0);
    b.bytes(net.trans_names.bytes());
    b.byte(0);
    b.flush();
    f.close();
}

// ---------------------------------------------------------------- .unf

namespace {

const char* plural(std::uint64_t n) { return n == 1 ? "" : "s"; }

char kind_letter(std::int32_t kind) {
    static const char letters[] = "0exid";
    return kind >= 0 && kind <= 4 ? letters[kind] : '-';
}

}  // namespace

void write_unf(const std::string& name, const std::string& net_file, const InputNet& net,
               const Prefix& pf, const Configurations& configs, bool uc,
               const std::vector<std::uint8_t>& marks) {
    const std::string path = complete_name(name, ".unf");
    OutFile f(path);
    const std::string stars(45, '*');
    f.printf("%s\n* FILE: %-36s*\n%s\n", stars.c_str(), path.c_str(), stars.c_str());
    f.printf("\nUnfolding of the net described in file '%s'.\n", net_file.c_str());
    f.puts("=========\n\n");
    const std::uint32_t B = pf.conditions(), E = pf.events();
    f.printf("%u condition%s.\n", B, plural(B));
    f.printf("%u event%s.\n", E, plural(E));
    f.printf("%u component%s.\n\n", net.components, plural(net.components));

    // Event table.
    TextOut t(f);
    int namew = E > 0 ? 1 + decimal_digits(E) : 0, labelw = 0;
    for (std::uint32_t e = 1; e <= E; ++e)
        labelw = std::max(labelw, static_cast<int>(net.trans_names[pf.ev_trans[e - 1]].size()));
    namew = std::max(namew + 1, 5);
    labelw = std::max(labelw + 1, 8);
    t.put("Names and labellings of events:\nnumname  ").left("name", namew).put(' ').left("tr_name", labelw);
    t.put(" label (multiset or variable)\n");
    for (std::uint32_t e = 1; e <= E; ++e) {
        t.number(e, 7).put(". ").name('E', e, namew).put(' ');
        t.left(net.trans_names[pf.ev_trans[e - 1]], labelw).put(" {}\n");
    }

    // Condition table.
    namew = B > 0 ? 1 + decimal_digits(B) : 0;
    labelw = 0;
    for (std::uint32_t c = 1; c <= B; ++c)
        labelw = std::max(labelw, static_cast<int>(net.place_names[pf.cond_place[c - 1]].size()));
    namew = std::max(namew + 1, 5);
    labelw = std::max(labelw + 1, 8);
    t.put("\nList of conditions and edges:\npreset     numname  label<comp>").left("name", namew).put(' ');
    t.left("pl_name", labelw).put("      postset\n");
    for (std::uint32_t c = 1; c <= B; ++c) {
        const std::uint32_t pre = pf.cond_pre[c - 1];
        const std::int32_t kind = pre == 0 ? 1 : pf.cond_kind[c - 1];
        if (pre != 0) t.number(pre, 7).put(" -->");
        else t.put("           ");
        const std::uint32_t p = pf.cond_place[c - 1];
        t.put(' ').number(c, 7).put(". (").put(kind_letter(kind)).put(") <").number(net.place_comp[p], 2).put(">  ");
        t.name('B', c, namew).put(' ').left(net.place_names[p], labelw).put(' ');
        bool first = true;
        pf.for_each_consumer(c, [&](std::uint32_t e) {
            t.put(first ? " --> " : ",").number(e);
            first = false;
        });
        t.put('\n');
    }

    // Cut-offs in detection order.
    const std::size_t n = pf.cutoffs.size();
    t.put('\n').number(n).put(" cutoff event").put(plural(n));
    t.put(" (corresponding event").put(uc ? ", prefixed by @ if in co relation" : "").put("):\n");
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t cut = pf.cutoffs[k].first, corr = pf.cutoffs[k].second;
        const std::size_t cut_size = 1 + decimal_digits(cut);
        const std::size_t corr_size = corr ? 1 + decimal_digits(corr) : std::strlen("start marking");
        const std::size_t bit = k + 1;
        const bool marked = bit / 8 < marks.size() && (marks[bit / 8] & (128u >> (bit % 8)));
        if (k == 0) {
            count = cut_size + corr_size + 2 + (marked ? 1 : 0);
            t.name('E', cut);
        } else {
            t.put(',');
            count += cut_size + 1;
            if (count > 75) {
                t.put("\n  ");
                count = 0;
            }
            t.name('E', cut);
            count += corr_size + 2;
            if (count > 75) {
                t.put("\n  ");
                count = 0;
            }
            if (marked) count += 1;
        }
        t.put('(');
        if (marked) t.put('@');
        if (corr) t.name('E', corr);
        else t.put("start marking");
        t.put(')');
    }
    t.put(".\n\n");

    const std::size_t nconf = configs.computed ? configs.sets.size() : 0;
    t.number(nconf).put(" maximal configuration").put(plural(nconf)).put(":\n");
    for (std::size_t k = 0; k < nconf; ++k) {
        const auto& set = configs.sets[k];
        count = 0;
        for (std::size_t i = 0; i < set.size(); ++i) {
            const std::size_t size = 1 + decimal_digits(set[i]);
            if (i == 0) {
                count = size;
            } else {
                t.put(',');
                count += size + 1;
                if (count > 75) {
                    t.put("\n  ");
                    count = 0;
                }
            }
            t.name('E', set[i]);
        }
        t.put(".\n");
    }
    t.put('\n');
    t.flush();
    f.printf("\n%s\n* END OF FILE %-30s*\n%s\n\n", stars.c_str(), path.c_str(), stars.c_str());
    f.close();
}

// ---------------------------------------------------------------- co matrices

bool ask_to_write(std::FILE* in, std::FILE* out) {
    for (;;) {
        std::fputs("Do you really want to write it? [y|n] ", out);
        std::fflush(out);
        int ch = std::fgetc(in);
        if (ch == EOF) {
            std::fputs("\nnote: no answer on standard input; taken as 'n'.\n", stderr);
            return false;
        }
        // The rest of the line is not part of the answer.
        int rest = ch;
        while (rest != '\n' && rest != EOF) rest = std::fgetc(in);
        ch = std::toupper(ch);
        if (ch == 'Y') return true;
        if (ch == 'N') return false;
        if (rest == EOF) {
            std::fputs("\nnote: no answer on standard input; taken as 'n'.\n", stderr);
            return false;
        }
    }
}

void write_bin_coco(const std::string& name, const Prefix& pf, std::FILE* in, std::FILE* out) {
    std::uint64_t size = 0;
    for (std::uint32_t k = 2; k <= pf.conditions(); ++k)
        if (pf.cond_has_row[k - 1]) size += (k - 1 + 7) / 8;
    if (size > 100000) {
        std::fprintf(out, "You are going to write a binary co-matrix file of size %llu bytes\n",
                     static_cast<unsigned long long>(size));
        if (!ask_to_write(in, out)) return;
    }
    const std::string path = complete_name(name.empty() ? "DUMMY" : name, ".bin_coco");
    OutFile f(path, true);
    std::vector<unsigned char> row;
    for (std::uint32_t k = 2; k <= pf.conditions(); ++k) {
        if (!pf.cond_has_row[k - 1]) continue;
        row.assign((k - 1 + 7) / 8, 0);
        pf.co[k - 1].for_each_run([&](std::uint32_t lo, std::uint32_t hi) {
            for (std::uint32_t j = lo; j <= hi && j < k; ++j)
                row[(j - 1) / 8] |= static_cast<unsigned char>(128u >> ((j - 1) % 8));
        });
        f.write(row.data(), row.size());
    }
    f.close();
}

void write_asc_coco(const Prefix& pf, std::FILE* in, std::FILE* out) {
    const std::uint64_t n = pf.rowed_conditions();
    const std::uint64_t size = (n * n - n) / 2;
    std::fprintf(out, "You are going to write an ASCII co-matrix file of size %llu bytes\n",
                 static_cast<unsigned long long>(size));
    if (size > 10000 && !ask_to_write(in, out)) return;
    OutFile f("MATRIX.asc_coco");
    std::string line;
    for (std::uint32_t k = 1; k <= pf.conditions(); ++k) {
        if (!pf.cond_has_row[k - 1]) continue;
        line.assign(k, '0');
        line[k - 1] = '1';
        pf.co[k - 1].for_each_run([&](std::uint32_t lo, std::uint32_t hi) {
            for (std::uint32_t j = lo; j <= hi && j < k; ++j) line[j - 1] = '1';
        });
        line.push_back('\n');
        f.puts(line);
    }
    f.close();
}

// ---------------------------------------------------------------- hash table

void print_hash_table(std::FILE* out, const InputNet& net, const Prefix& pf,
                      const std::vector<std::vector<std::uint32_t>>* events, bool by_component) {
    std::fputs("Hash table:\n", out);
    const std::uint32_t nb = pf.buckets ? pf.buckets : 1;
    std::vector<std::vector<std::uint32_t>> cuts(pf.cuts.size());
    std::vector<std::uint32_t> bucket(pf.cuts.size());
    std::vector<std::uint32_t> order(pf.cuts.size());
    for (std::uint32_t i = 0; i < pf.cuts.size(); ++i) {
        cuts[i] = cut_of(net, pf, pf.cuts[i].first);
        if (by_component) {
            // One place per component, in component order; the i-th of C
            // places weighs C - i.
            std::vector<std::uint32_t>& cut = cuts[i];
            std::stable_sort(cut.begin(), cut.end(), [&](std::uint32_t a, std::uint32_t b) {
                return net.place_comp[a - 1] < net.place_comp[b - 1];
            });
            std::uint64_t sum = 0;
            const std::uint64_t C = cut.size();
            for (std::uint64_t k = 0; k < C; ++k) sum = (sum + (C - k) * cut[k]) % nb;
            bucket[i] = static_cast<std::uint32_t>(sum);
        } else {
            bucket[i] = cut_bucket(cuts[i].data(), static_cast<std::uint32_t>(cuts[i].size()), nb);
        }
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (bucket[a] != bucket[b]) return bucket[a] < bucket[b];
        return cuts[a] < cuts[b];
    });
    std::size_t k = 0;
    for (std::uint32_t i = 0; i < nb; ++i) {
        std::fprintf(out, "##%3u. ", i);
        bool first = true;
        for (; k < order.size() && bucket[order[k]] == i; ++k) {
            if (!first) std::fputs("       ", out);
            first = false;
            const std::vector<std::uint32_t>& cut = cuts[order[k]];
            std::fputc('{', out);
            for (std::size_t j = 0; j < cut.size(); ++j) std::fprintf(out, j ? ",%u" : "%u", cut[j]);
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
