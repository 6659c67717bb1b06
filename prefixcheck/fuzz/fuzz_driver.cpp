// A mutation loop for fuzz targets, for compilers without libFuzzer.  It
// takes libFuzzer's command-line form, as far as the project's fuzz runs use
// it:
//
//   fuzz_x [-max_total_time=S] [-runs=N] [-seed=N] [corpus_dir | file]...
//
// Every file given, and every file in a directory given, is a seed.  Each run
// takes a seed, changes it by a few random edits (bytes, 32-bit words with
// telling values, cuts, copies, splices with another seed) and hands it to
// the target.  The runs are reproducible from the seed of the random
// numbers, which is printed.  When the target ends the process abnormally,
// the input of that run is written to "crash-input" in the current
// directory first.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fuzz_target.h"

namespace {

std::vector<std::uint8_t> current;   // the input of the run in progress

extern "C" void save_current(int signal) {
    const int fd = ::open("crash-input", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        const ssize_t written = ::write(fd, current.data(), current.size());
        (void)written;
        ::close(fd);
    }
    static const char note[] = "fuzz driver: the input of this run is in crash-input\n";
    const ssize_t shown = ::write(2, note, sizeof note - 1);
    (void)shown;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool read_file(const std::string& path, std::vector<std::uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    std::uint8_t buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

void add_seeds(const std::string& path, std::vector<std::vector<std::uint8_t>>& seeds) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "fuzz driver: no such file or directory: %s\n", path.c_str());
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::vector<std::uint8_t> data;
        if (read_file(path, data)) seeds.push_back(std::move(data));
        return;
    }
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.') names.push_back(path + "/" + e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) add_seeds(name, seeds);
}

class Mutator {
public:
    explicit Mutator(std::uint64_t seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n); }

    void mutate(std::vector<std::uint8_t>& d, const std::vector<std::vector<std::uint8_t>>& seeds) {
        static const std::uint32_t words[] = {0, 1, 2, 3, 7, 8, 255, 256, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
        const std::size_t edits = 1 + below(4);
        for (std::size_t k = 0; k < edits; ++k) {
            switch (below(8)) {
                case 0:   // one bit
                    if (!d.empty()) d[below(d.size())] ^= static_cast<std::uint8_t>(1u << below(8));
                    break;
                case 1:   // one byte
                    if (!d.empty()) d[below(d.size())] = static_cast<std::uint8_t>(rng_());
                    break;
                case 2: {   // a 32-bit word at a word boundary
                    if (d.size() < 4) break;
                    const std::size_t at = below(d.size() / 4) * 4;
                    std::uint32_t w = below(2) ? words[below(sizeof words / sizeof words[0])]
                                               : static_cast<std::uint32_t>(below(64));
                    for (int i = 0; i < 4; ++i) d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(w >> (8 * i));
                    break;
                }
                case 3: {   // insert bytes
                    const std::size_t at = below(d.size() + 1), n = 1 + below(8);
                    std::vector<std::uint8_t> bytes(n);
                    for (auto& b : bytes) b = static_cast<std::uint8_t>(below(2) ? rng_() : below(4));
                    d.insert(d.begin() + static_cast<long>(at), bytes.begin(), bytes.end());
                    break;
                }
                case 4: {   // erase bytes
                    if (d.empty()) break;
                    const std::size_t at = below(d.size()), n = 1 + below(std::min<std::size_t>(16, d.size() - at));
                    d.erase(d.begin() + static_cast<long>(at), d.begin() + static_cast<long>(at + n));
                    break;
                }
                case 5: {   // copy a piece elsewhere
                    if (d.empty()) break;
                    const std::size_t from = below(d.size()), n = 1 + below(std::min<std::size_t>(32, d.size() - from));
                    const std::vector<std::uint8_t> piece(d.begin() + static_cast<long>(from),
                                                          d.begin() + static_cast<long>(from + n));
                    const std::size_t to = below(d.size() + 1);
                    d.insert(d.begin() + static_cast<long>(to), piece.begin(), piece.end());
                    break;
                }
                case 6:   // cut the end
                    d.resize(below(d.size() + 1));
                    break;
                default: {   // splice: the front of this one, the back of another
                    const auto& other = seeds[below(seeds.size())];
                    const std::size_t keep = below(d.size() + 1), from = below(other.size() + 1);
                    d.resize(keep);
                    d.insert(d.end(), other.begin() + static_cast<long>(from), other.end());
                    break;
                }
            }
        }
    }

private:
    std::mt19937_64 rng_;
};

}  // namespace

int main(int argc, char** argv) {
    double max_seconds = 0;
    unsigned long long runs = 0;
    std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::vector<std::vector<std::uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("-max_total_time=", 0) == 0) max_seconds = std::atof(a.c_str() + 16);
        else if (a.rfind("-runs=", 0) == 0) runs = std::strtoull(a.c_str() + 6, nullptr, 10);
        else if (a.rfind("-seed=", 0) == 0) seed = std::strtoull(a.c_str() + 6, nullptr, 10);
        else if (a[0] == '-') std::fprintf(stderr, "fuzz driver: option %s ignored\n", a.c_str());
        else add_seeds(a, seeds);
    }
    if (max_seconds <= 0 && runs == 0) max_seconds = 10;
    // The seeds themselves first, then changed copies.
    for (const auto& s : seeds) {
        current = s;
        LLVMFuzzerTestOneInput(current.data(), current.size());
    }
    if (seeds.empty()) seeds.emplace_back();
    for (int s : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(s, save_current);
    std::printf("fuzz driver: %zu seeds, random seed %llu\n", seeds.size(), static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    Mutator m(seed);
    const auto start = std::chrono::steady_clock::now();
    unsigned long long done = 0;
    for (;; ++done) {
        if (runs && done >= runs) break;
        if (max_seconds > 0 && (done & 63) == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= max_seconds)
            break;
        current = seeds[m.below(seeds.size())];
        m.mutate(current, seeds);
        LLVMFuzzerTestOneInput(current.data(), current.size());
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fuzz driver: %llu runs in %.1f s, no fault\n", done, took);
    return 0;
}
