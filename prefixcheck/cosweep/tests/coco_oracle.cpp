#include "coco_oracle.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>

namespace cosweep_test {

namespace {

using Bits = std::vector<std::uint64_t>;

bool test(const Bits& b, std::uint32_t i) { return (b[i / 64] >> (i % 64)) & 1u; }
void set(Bits& b, std::uint32_t i) { b[i / 64] |= std::uint64_t{1} << (i % 64); }

}  // namespace

std::vector<std::vector<bool>> co_relation(const cosweep::Prefix& p) {
    const std::uint32_t n = p.conditions, e = p.events;
    const std::size_t words = e / 64 + 1;
    // Local configuration of every event, in event order (presets come first).
    std::vector<Bits> local(e + 1, Bits(words, 0));
    for (std::uint32_t ev = 1; ev <= e; ++ev) {
        set(local[ev], ev);
        for (std::uint32_t b : p.preset[ev]) {
            std::uint32_t pre = p.condition_pre[b];
            if (pre == 0) continue;
            for (std::size_t w = 0; w < words; ++w) local[ev][w] |= local[pre][w];
        }
    }
    std::vector<std::vector<std::uint32_t>> post(n + 1);
    for (std::uint32_t ev = 1; ev <= e; ++ev)
        for (std::uint32_t b : p.preset[ev]) post[b].push_back(ev);
    std::vector<std::uint32_t> shared;   // conditions consumed by two or more events
    for (std::uint32_t b = 1; b <= n; ++b)
        if (post[b].size() > 1) shared.push_back(b);

    std::vector<std::vector<bool>> co(n + 1, std::vector<bool>(n + 1, false));
    Bits u(words);
    for (std::uint32_t a = 1; a <= n; ++a) {
        co[a][a] = true;
        for (std::uint32_t b = a + 1; b <= n; ++b) {
            std::fill(u.begin(), u.end(), 0);
            if (p.condition_pre[a]) u = local[p.condition_pre[a]];
            if (p.condition_pre[b])
                for (std::size_t w = 0; w < words; ++w) u[w] |= local[p.condition_pre[b]][w];
            bool ok = true;
            for (std::uint32_t ev : post[a]) ok = ok && !test(u, ev);
            for (std::uint32_t ev : post[b]) ok = ok && !test(u, ev);
            for (std::size_t k = 0; ok && k < shared.size(); ++k) {
                int in = 0;
                for (std::uint32_t ev : post[shared[k]]) in += test(u, ev);
                ok = in < 2;
            }
            co[a][b] = co[b][a] = ok;
        }
    }
    return co;
}

std::string coco_bytes(const cosweep::Prefix& p) {
    auto co = co_relation(p);
    std::string out;
    for (std::uint32_t k = 2; k <= p.conditions; ++k) {
        std::string row((k - 1 + 7) / 8, '\0');
        for (std::uint32_t j = 1; j < k; ++j)
            if (co[k][j]) row[(j - 1) / 8] = static_cast<char>(row[(j - 1) / 8] | (0x80 >> ((j - 1) % 8)));
        out += row;
    }
    return out;
}

bool write_coco(const std::string& mci, const std::string& coco) {
    cosweep::Prefix p = cosweep::readMCI(mci);
    std::ofstream f(coco, std::ios::binary);
    std::string bytes = coco_bytes(p);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::string bin_dir() { return VOS_BIN_DIR; }

FakeTrelmik::FakeTrelmik() {
    const std::string script = dir_.file("trelmik");
    testsupport::write_file(script,
        "#!/bin/bash\n"
        "# Stand-in for trelmik: logs the command line and its input, unfolds\n"
        "# with the default loop and writes the matrix with the oracle.\n"
        "printf '%s\\n' \"$*\" >> " + testsupport::shell_quote(dir_.file("log")) + "\n"
        "read -r answer; printf 'answer=%s\\n' \"$answer\" >> " + testsupport::shell_quote(dir_.file("log")) + "\n"
        "m=; M=; in=\n"
        "for a in \"$@\"; do\n"
        "  case \"$a\" in\n"
        "    -m=*) m=\"${a#-m=}\";;\n"
        "    -M=*) M=\"${a#-M=}\";;\n"
        "    -*K*=*) in=\"${a#*=}\";;\n"
        "    -*) ;;\n"
        "    *) in=\"$a\";;\n"
        "  esac\n"
        "done\n"
        "case \"$in\" in -*) in=\"./$in\";; esac\n"
        "" + testsupport::shell_quote(bin_dir() + "/trelmik") + " -ctC -m=\"$m\" \"$in\" > /dev/null || exit $?\n"
        "exec " + testsupport::shell_quote(COSWEEP_TEST_COCO_PATH) + " \"$m.mci\" \"$M.bin_coco\"\n");
    ::chmod(script.c_str(), 0755);
}

// The programs run without leak reports (the test environment checks leaks
// only at the end of a test binary): they end through exit() with their
// records still held.
std::string FakeTrelmik::path_prefix() const {
    return "PATH=" + testsupport::shell_quote(dir_.path()) + ":" + testsupport::shell_quote(bin_dir()) + ":\"$PATH\" ";
}

std::string real_path_prefix() { return "PATH=" + testsupport::shell_quote(bin_dir()) + ":\"$PATH\" "; }

}  // namespace cosweep_test
