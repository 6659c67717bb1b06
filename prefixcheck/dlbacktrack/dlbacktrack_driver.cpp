#include "dlbacktrack_driver.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "dlbacktrack_search.h"
#include "net.h"
#include "outfile.h"
#include "scanner.h"

namespace dlbacktrack {

ProcessTime::ProcessTime(unsigned counter_bits, double ticks_per_second)
    : mask_(counter_bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << counter_bits) - 1),
      ticks_per_second_(ticks_per_second) {}

void ProcessTime::reading(std::uint64_t raw) {
    raw &= mask_;
    if (started_) ticks_ += (raw - last_) & mask_;   // modular: a wrap adds one counter period
    started_ = true;
    last_ = raw;
}

void ProcessTime::sample() { reading(static_cast<std::uint64_t>(std::clock())); }

// ---------------------------------------------------------------------------
CheckResult check_prefix(const PrefixGraph& g, const std::function<void()>& step) {
    CheckResult result;
    if (g.cutoff_entries == 0) {
        // Without cut-off events the prefix is the whole unfolding and each of
        // its maximal configurations ends in a deadlock.
        if (g.first_configuration.empty()) {
            result.verdict = Verdict::DeadlockEvery;
            return result;
        }
        result.verdict = Verdict::Deadlock;
        result.witness = g.first_configuration;
        // The configuration the file names is printed as it is when it is one;
        // otherwise a maximal configuration is built from all events.
        if (!is_maximal_configuration(g, result.witness)) {
            std::vector<std::uint32_t> all(g.events);
            for (std::uint32_t e = 1; e <= g.events; ++e) all[e - 1] = e;
            result.witness = greedy_configuration(g, all);
        }
        return result;
    }

    result.search_form = true;
    DeadlockSearch search(g, step);
    search.AllConflicts();
    if (search.CutoffWithoutConflicts() || !search.BacktrackSearch()) {
        result.verdict = Verdict::NoDeadlock;
        return result;
    }
    result.verdict = Verdict::Deadlock;
    result.witness = search.DeadlockConfiguration();
    return result;
}

namespace {

// Appends items "%s(%s)" to a text: the first without separator, each further
// one after ", ", or after ",\n  " when it would bring the running width past
// 65 (the width of an item is the length of its name and label plus 4).
class ItemWriter {
public:
    explicit ItemWriter(std::string& out) : out_(out) {}
    void add(std::string_view name, std::string_view label) {
        std::size_t width = name.size() + label.size() + 4;
        running_ += width;
        if (first_) {
            first_ = false;
        } else if (running_ > 65) {
            out_ += ",\n  ";
            running_ = width;
        } else {
            out_ += ", ";
        }
        out_ += name;
        out_ += '(';
        out_ += label;
        out_ += ')';
    }

private:
    std::string& out_;
    std::size_t running_ = 0;
    bool first_ = true;
};

}  // namespace

std::string item_list(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string out;
    ItemWriter writer(out);
    for (const auto& [name, label] : items) writer.add(name, label);
    return out;
}

std::string result_text(const PrefixGraph& prefix, const CheckResult& result) {
    switch (result.verdict) {
    case Verdict::NoDeadlock:
        return "TRUE\n";
    case Verdict::DeadlockEvery:
        return "FALSE - EVERY\n";
    case Verdict::Deadlock:
        break;
    }
    std::string out = "FALSE\n";
    ItemWriter writer(out);
    for (std::uint32_t e : result.witness) writer.add(prefix.event_name(e), prefix.label(e));
    out += ".\n\n";
    return out;
}

std::string time_line(double seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Time needed: %9.2f s\n", seconds);
    return buf;
}

std::string usage_text(const std::string& program) {
    const std::string rule(76, '=');
    return rule + "\n" +
           "Determination of deadlocks (McMillan\xB4s backtracking algorithm)\n"
           "Usage : " + program + " file1 [file2]\n"
           "        file1 : input file containing unfolding\n"
           "                extension '.mci': binary coded format\n"
           "                extension '.unf': ASCII coded format\n"
           "        file2 : output result file\n"
           "Version 2.1.0 (11.04.1997)\n" +
           rule + "\n";
}

namespace {

void write_stdout(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Writes the result text to the result file, which takes its name when the
// run has succeeded; a file that cannot be opened only gives a warning.
void FPrintResult(const std::string& file2, const std::string& text) {
    std::FILE* f = outfile::open(file2);
    if (!f) {
        write_stdout("WARNING -- FPrintResult(): cannot open '" + file2 + "'\n");
        return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        // The result file is the only output: what it held stays.
        outfile::discard();
        write_stdout("WARNING -- FPrintResult(): cannot write '" + file2 + "'\n");
    }
}

}  // namespace

void CheckDeadlocks(const PrefixGraph& prefix, const std::string& file1, const std::string& file2) {
    ProcessTime clock;
    clock.sample();
    CheckResult result = check_prefix(prefix, [&clock] { clock.sample(); });
    std::string text = result_text(prefix, result);
    if (!file2.empty()) FPrintResult(file2, text);
    write_stdout(text);
    if (!result.search_form) return;
    clock.sample();
    write_stdout(time_line(clock.seconds()));
}

int run(int argc, char** argv) {
    netlib::install_memory_handler();
    const std::string program = argc > 0 && argv[0] ? argv[0] : "dlbacktrack";
    if (argc < 2 || argc > 3) {
        write_stdout(usage_text(program));
        return 0;
    }
    const std::string file1 = argv[1];
    const std::string file2 = argc == 3 ? argv[2] : "";
    std::string ext;
    auto dot = file1.rfind('.');
    if (dot != std::string::npos) ext = file1.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext != ".unf" && ext != ".mci") {
        write_stdout(usage_text(program));
        return 0;
    }
    if (!file2.empty() && outfile::names_input(file2, {file1})) {
        std::fprintf(stderr, "\nFEHLER -- result file '%s' would replace the input '%s'\n", file2.c_str(),
                     file1.c_str());
        return 10;
    }
    try {
        const PrefixGraph prefix = ext == ".unf" ? prefixfile::read_unf(file1) : prefixfile::read_mci(file1);
        CheckDeadlocks(prefix, file1, file2);
    } catch (const prefixfile::ReadError& e) {
        std::fflush(stdout);
        if (e.failure != prefixfile::Failure::Syntax) {
            std::fprintf(stderr, "\nFEHLER -- %s\n", e.what());
            return 10;
        }
        netlib::scan.file = e.file;
        netlib::scan.line = e.line;
        netlib::syntax_error(e.what());
    }
    // A verdict that did not reach standard output is no answer, and the
    // result file then keeps what it held.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        outfile::discard();
        std::fprintf(stderr, "\nFEHLER -- cannot write the result on standard output\n");
        return 10;
    }
    if (!outfile::commit()) {
        write_stdout("WARNING -- FPrintResult(): cannot write '" + file2 + "'\n");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace dlbacktrack
