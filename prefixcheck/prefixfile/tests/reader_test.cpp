// The shared prefix readers: both forms give the same prefix, every damaged
// file is refused with the right kind of failure (decided by the tests' own
// decoder of the format), and files, devices, pipes and directories are
// read or refused without reading more than the counts allow.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <thread>

#include "mci_oracle.h"
#include "petri_test.h"
#include "prefixfile.h"
#include "unf_text.h"

using prefixfile::Failure;
using prefixfile::ReadError;
using prefixfile::read_mci_bytes;
using prefixfile::read_unf_text;
using prefixfile_test::Oracle;
using prefixfile_test::unf_text;
using testsupport::mci_string;
using testsupport::Prefix;

namespace {

// Two events in conflict on the initial condition B1 (place "p_1"), the
// first one producing B3; B2 is concurrent and consumed by E2 together with
// B1.  E3 follows E1 and is a cut-off; E4 follows E1 as well.
Prefix small_prefix() {
    Prefix p;
    p.places = {"p_1", "p_2", "p_3", "a_very_long_place_name"};
    p.transitions = {"t_1", "t_2", "t_3"};
    std::uint32_t e1 = p.add_event(1), e2 = p.add_event(2), e3 = p.add_event(3), e4 = p.add_event(1);
    p.add_condition(1, 0, {e1, e2});
    p.add_condition(2, 0, {e2});
    p.add_condition(3, e1, {e3, e4});
    p.add_condition(4, e2);
    p.add_condition(1, e3);
    p.conds.back().kind = 3;
    p.cutoffs = {{e3, 0}};
    p.configs = {{1, 3}, {2}};
    return p;
}

std::vector<std::vector<std::uint32_t>> lists(const prefixfile::Relation& r, std::uint32_t n) {
    std::vector<std::vector<std::uint32_t>> out;
    for (std::uint32_t i = 1; i <= n; ++i) out.emplace_back(r[i].begin(), r[i].end());
    return out;
}

std::vector<std::string> labels(const prefixfile::Prefix& p) {
    std::vector<std::string> out;
    for (std::uint32_t e = 1; e <= p.events; ++e) out.emplace_back(p.label(e));
    return out;
}

void expect_same(const prefixfile::Prefix& a, const prefixfile::Prefix& b) {
    EXPECT_EQ(a.events, b.events);
    EXPECT_EQ(a.conditions, b.conditions);
    EXPECT_EQ(a.cutoff_entries, b.cutoff_entries);
    EXPECT_EQ(labels(a), labels(b));
    EXPECT_EQ(a.cutoff, b.cutoff);
    EXPECT_EQ(a.condition_pre, b.condition_pre);
    EXPECT_EQ(lists(a.preset, a.events), lists(b.preset, b.events));
    EXPECT_EQ(lists(a.postset, a.events), lists(b.postset, b.events));
    EXPECT_EQ(lists(a.consumers, a.conditions), lists(b.consumers, b.conditions));
    for (std::uint32_t c = 1; c <= a.conditions; ++c) EXPECT_EQ(a.place_of(c), b.place_of(c));
}

Failure failure_of(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const ReadError& e) {
        if (message) *message = e.what();
        return e.failure;
    }
    ADD_FAILURE() << "no read error";
    return Failure::Syntax;
}

prefixfile::Prefix mci(const Prefix& p) { return read_mci_bytes(mci_string(p), "x.mci"); }
prefixfile::Prefix unf(const Prefix& p) { return read_unf_text(unf_text(p, "x.unf"), "x.unf"); }

}  // namespace

TEST(PrefixReaders, BothFormsGiveTheSamePrefixWithWholeNames) {
    const Prefix p = small_prefix();
    prefixfile::Prefix m = mci(p), u = unf(p);
    expect_same(m, u);
    EXPECT_EQ(labels(m), (std::vector<std::string>{"t_1", "t_2", "t_3", "t_1"}));
    EXPECT_EQ(m.cutoff, (std::vector<std::uint8_t>{0, 0, 0, 1, 0}));
    EXPECT_EQ(lists(m.preset, 4)[1], (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(lists(m.postset, 4)[0], (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(m.place_of(4), "a_very_long_place_name");
    EXPECT_EQ(m.event_name(2), "E2");
    EXPECT_EQ(u.event_name(2), "E2");
    EXPECT_EQ(m.cutoffs, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{3, 0}}));
    EXPECT_EQ(m.configurations, 2u);
}

TEST(PrefixReaders, EveryListedCutoffIsMarkedWhateverItsPosition) {
    // Nine independent events, of which E9 and E4 are listed as cut-offs in
    // that order.
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    for (std::uint32_t e = 1; e <= 9; ++e) {
        p.add_event(1);
        p.add_condition(1, 0, {e});
        p.add_condition(1, e);
    }
    p.cutoffs = {{9, 2}, {4, 0}};
    for (const prefixfile::Prefix& r : {mci(p), unf(p)}) {
        EXPECT_EQ(r.cutoff_entries, 2u);
        EXPECT_EQ(r.cutoff, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    }
    EXPECT_EQ(mci(p).cutoffs, p.cutoffs);
}

TEST(PrefixReaders, FirstConfigurationOnly) {
    Prefix p = small_prefix();
    p.cutoffs.clear();
    p.configs = {{1, 3, 4, 3}, {2}};
    EXPECT_EQ(mci(p).first_configuration, (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_EQ(unf(p).first_configuration, (std::vector<std::uint32_t>{1, 3, 4}));
    // No configuration at all (-c), and an empty first configuration (.unf).
    p.configs.clear();
    EXPECT_TRUE(mci(p).first_configuration.empty());
    EXPECT_TRUE(unf(p).first_configuration.empty());
    p.configs = {{}};
    EXPECT_TRUE(unf(p).first_configuration.empty());
    // With cut-offs the ".unf" reader does not look at the configurations.
    p = small_prefix();
    EXPECT_TRUE(unf(p).first_configuration.empty());
}

TEST(PrefixReaders, LongListsWrapAndLongNamesAreCut) {
    // Thirty concurrent events, all cut-offs: the cut-off list wraps, also
    // between a name and its corresponding event.
    Prefix p;
    p.places = {"p"};
    p.transitions = {std::string(301, 'x')};
    for (std::uint32_t i = 1; i <= 30; ++i) {
        std::uint32_t e = p.add_event(1);
        p.add_condition(1, 0, {e});
        p.cutoffs.push_back({e, e > 1 ? e - 1 : 0});
    }
    std::string text = unf_text(p, "w.unf");
    ASSERT_NE(text.find(",\n  "), std::string::npos);
    prefixfile::Prefix u = read_unf_text(text, "w.unf");
    EXPECT_EQ(u.cutoff_entries, 30u);
    for (std::uint32_t e = 1; e <= 30; ++e) EXPECT_TRUE(u.cutoff[e]) << e;
    EXPECT_EQ(u.label(1), std::string(300, 'x'));

    // A configuration list of thirty events wraps as well.
    p.cutoffs.clear();
    p.configs = {{}};
    for (std::uint32_t e = 1; e <= 30; ++e) p.configs[0].push_back(e);
    EXPECT_EQ(unf(p).first_configuration.size(), 30u);
}

TEST(PrefixReaders, UnknownCutoffNameInUnfIsCountedAndMarksNothing) {
    Prefix p = small_prefix();
    std::string text = unf_text(p, "x.unf");
    const std::size_t at = text.find("E3(start marking)");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 2, "E7");
    prefixfile::Prefix u = read_unf_text(text, "x.unf");
    EXPECT_EQ(u.cutoff_entries, 1u);
    EXPECT_EQ(u.cutoff_count(), 0u);
    EXPECT_EQ(u.cutoff, (std::vector<std::uint8_t>{0, 0, 0, 0, 0}));
}

TEST(PrefixReaders, EmptyPrefixesAndUnknownKindLetter) {
    const Prefix p = small_prefix();
    std::string text = unf_text(p, "x.unf");
    std::string message;
    std::string zero = text;
    zero.replace(zero.find("5 conditions"), 1, "0");
    EXPECT_EQ(failure_of([&] { read_unf_text(zero, "x.unf"); }, &message), Failure::Syntax);
    EXPECT_EQ(message, "readUNF(): Netz enthaelt keine Bedingungen");
    std::string bytes = mci_string(p);
    bytes[0] = 0;
    EXPECT_EQ(failure_of([&] { read_mci_bytes(bytes, "x.mci"); }, &message), Failure::Empty);
    EXPECT_EQ(message, "readMCI(): Netz enthaelt keine Bedingungen");

    // '-' stands for kinds above 4; other letters are refused.
    std::string dash = text;
    dash.replace(dash.find("(e)"), 3, "(-)");
    EXPECT_NO_THROW(read_unf_text(dash, "x.unf"));
    std::string bad = text;
    bad.replace(bad.find("(e)"), 3, "(q)");
    EXPECT_EQ(failure_of([&] { read_unf_text(bad, "x.unf"); }, &message), Failure::Syntax);
    EXPECT_EQ(message, "ReadPlaceLabel(): Unbekanntes Stellen-Label");
}

// The faults a prefix checker must refuse, whatever form they come in.
TEST(PrefixReaders, DamagedUnfFilesAreSyntaxErrors) {
    struct Case {
        const char* what;
        std::function<void(Prefix&)> damage;
    };
    const Case cases[] = {
        {"descending post-events", [](Prefix& p) { p.conds[0].post = {2, 1}; }},
        {"consumer before its pre-event", [](Prefix& p) { p.conds[2].post = {1}; }},
        {"event without preset", [](Prefix& p) { p.conds[1].post.clear(); p.conds[0].post = {1}; }},
        {"condition behind a cut-off consumed", [](Prefix& p) { p.add_condition(1, 3, {4}); }},
        {"cut-off corresponds to itself", [](Prefix& p) { p.cutoffs = {{3, 3}}; }},
        {"cut-off listed twice", [](Prefix& p) { p.cutoffs = {{3, 0}, {3, 1}}; }},
    };
    for (const Case& c : cases) {
        Prefix p = small_prefix();
        c.damage(p);
        EXPECT_EQ(failure_of([&] { unf(p); }), Failure::Syntax) << c.what;
    }
}

TEST(PrefixReaders, MissingFilesAndDirectories) {
    testsupport::TempDir dir;
    std::string message;
    EXPECT_EQ(failure_of([] { prefixfile::read_mci("/nonexistent/x.mci"); }, &message), Failure::CannotOpen);
    EXPECT_EQ(message, "readMCI(): kann Datei nicht oeffnen: '/nonexistent/x.mci'");
    EXPECT_EQ(failure_of([&] { prefixfile::read_mci(dir.path()); }, &message), Failure::CannotOpen);
    EXPECT_EQ(failure_of([&] { prefixfile::read_unf(dir.path()); }, &message), Failure::CannotOpen);
    EXPECT_EQ(message, "readUNF(): kann Datei nicht oeffnen: '" + dir.path() + "'");
    EXPECT_EQ(failure_of([] { prefixfile::read_unf(""); }, &message), Failure::NoName);
    EXPECT_EQ(message, "readUNF(): Dateiname fehlt");
    EXPECT_EQ(prefixfile::open_for_reading(dir.path()), nullptr);
}

// A device that never ends and a pipe are read as they come: the counts are
// checked as soon as they are read, nothing is read ahead.
TEST(PrefixReaders, DevicesAndPipes) {
    EXPECT_EQ(failure_of([] { prefixfile::read_mci("/dev/zero"); }), Failure::Empty);
    EXPECT_EQ(failure_of([] { prefixfile::read_mci("/dev/null"); }), Failure::Truncated);

    testsupport::TempDir dir;
    const std::string fifo = dir.file("p.mci");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes = mci_string(small_prefix());
    // A writer that gives the prefix, then, on the second round, a prefix
    // whose event count claims more than the pipe brings.
    for (int round = 0; round < 2; ++round) {
        std::string data = bytes;
        if (round == 1) data[4] = data[5] = data[6] = static_cast<char>(0x7F);
        std::thread writer([&] {
            std::FILE* f = std::fopen(fifo.c_str(), "wb");
            if (!f) return;
            std::fwrite(data.data(), 1, data.size(), f);
            std::fclose(f);
        });
        if (round == 0) {
            prefixfile::Prefix r = prefixfile::read_mci(fifo);
            expect_same(r, mci(small_prefix()));
        } else {
            // Without a size to check against, the counts are taken as they
            // come and the first impossible value ends the reading.
            const Failure f = failure_of([&] { prefixfile::read_mci(fifo); });
            EXPECT_TRUE(f == Failure::Truncated || f == Failure::Malformed);
        }
        writer.join();
    }
}

// Every proper prefix of a valid ".mci" file is an incomplete file.
TEST(PrefixReaders, TruncatedMciIsAlwaysTruncated) {
    const std::string bytes = mci_string(small_prefix());
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_EQ(failure_of([&] { read_mci_bytes(bytes.substr(0, n), "t.mci"); }), Failure::Truncated) << n;
    EXPECT_NO_THROW(read_mci_bytes(bytes, "t.mci"));
}

// One case per rule of the format; the oracle agrees that each breaks it.
TEST(PrefixReaders, MalformedMciFilesAreRefused) {
    struct Case {
        const char* what;
        std::function<void(Prefix&)> damage;
    };
    const Case cases[] = {
        {"pre-event out of range", [](Prefix& p) { p.conds[2].pre = 9; }},
        {"descending post-events", [](Prefix& p) { p.conds[0].post = {2, 1}; }},
        {"consumer before its pre-event", [](Prefix& p) { p.conds[2].post = {1}; }},
        {"post-event out of range", [](Prefix& p) { p.conds[0].post = {1, 7}; }},
        {"cut-off out of range", [](Prefix& p) { p.cutoffs = {{8, 0}}; }},
        {"corresponding event out of range", [](Prefix& p) { p.cutoffs = {{3, 12}}; }},
        {"cut-off corresponds to itself", [](Prefix& p) { p.cutoffs = {{3, 3}}; }},
        {"cut-off listed twice", [](Prefix& p) { p.cutoffs = {{3, 0}, {3, 0}}; }},
        {"condition behind a cut-off consumed", [](Prefix& p) { p.add_condition(1, 3, {4}); }},
        {"configuration event out of range", [](Prefix& p) { p.configs = {{1, 99}}; }},
        {"transition beyond the names", [](Prefix& p) { p.event_trans[0] = 4; }},
        {"transition 0", [](Prefix& p) { p.event_trans[0] = 0; }},
        {"place 0", [](Prefix& p) { p.conds[1].place = 0; }},
        {"place beyond the names", [](Prefix& p) { p.conds[1].place = 5; }},
        {"event without preset", [](Prefix& p) { p.conds[1].post.clear(); p.conds[0].post = {1}; }},
        {"empty name", [](Prefix& p) { p.places[1] = ""; }},
        {"repeated name", [](Prefix& p) { p.transitions[2] = "t_1"; }},
    };
    for (const Case& c : cases) {
        Prefix p = small_prefix();
        c.damage(p);
        const std::string bytes = mci_string(p);
        EXPECT_EQ(prefixfile_test::decode_mci(bytes).verdict, Oracle::Invalid) << c.what;
        std::string message;
        EXPECT_EQ(failure_of([&] { read_mci_bytes(bytes, "m.mci"); }, &message), Failure::Malformed) << c.what;
        EXPECT_EQ(message.rfind("readMCI(): Datei 'm.mci' ist fehlerhaft: ", 0), 0u) << message;
    }
    // The end of the file: the final NUL missing, or bytes after it.
    const std::string bytes = mci_string(small_prefix());
    EXPECT_EQ(failure_of([&] { read_mci_bytes(bytes.substr(0, bytes.size() - 1) + "x", "m.mci"); }), Failure::Malformed);
    EXPECT_EQ(failure_of([&] { read_mci_bytes(bytes + "junk", "m.mci"); }), Failure::Malformed);
    // Counts that the file cannot hold are refused before anything is read.
    std::string huge = bytes;
    huge[4] = huge[5] = huge[6] = static_cast<char>(0xFF);
    EXPECT_EQ(failure_of([&] { read_mci_bytes(huge, "m.mci"); }), Failure::Truncated);
}

// Random corruption of valid files: the ".mci" reader accepts exactly what
// the oracle calls a prefix, with the same content, and otherwise fails the
// way the oracle says; the ".unf" reader accepts only consistent prefixes
// and reports everything else as a syntax error.
TEST(PrefixReaders, CorruptedFilesNeverCrash) {
    std::vector<Prefix> bases = {small_prefix()};
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        testsupport::UnfoldOptions opt;
        opt.maximal_configuration = true;
        bases.push_back(testsupport::unfold_prefix(testsupport::random_safe_net(seed), opt));
    }
    std::mt19937 rng(7);
    int accepted = 0, refused = 0;
    for (int round = 0; round < 600; ++round) {
        const Prefix& base = bases[static_cast<std::size_t>(round) % bases.size()];
        std::string b = mci_string(base), t = unf_text(base, "r.unf");
        const int edits = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < edits; ++k) {
            switch (rng() % 4) {
                case 0: b[rng() % b.size()] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng() % 12); break;
                case 1: b.erase(rng() % b.size(), 1 + rng() % 4); break;
                case 2: b.insert(rng() % (b.size() + 1), std::string(4, static_cast<char>(rng() % 3))); break;
                default: b.resize(b.size() - std::min<std::size_t>(b.size() - 1, rng() % 8)); break;
            }
            t[rng() % t.size()] = "0123456789-,.( \n>E"[rng() % 18];
        }
        const prefixfile_test::Decoded d = prefixfile_test::decode_mci(b);
        SCOPED_TRACE("round " + std::to_string(round) + ", oracle rule: " + d.rule);
        try {
            prefixfile::Prefix r = read_mci_bytes(b, "r.mci");
            ASSERT_EQ(d.verdict, Oracle::Valid);
            ++accepted;
            EXPECT_EQ(prefixfile_test::broken_rule(r), "");
            EXPECT_EQ(r.conditions, d.prefix.conds.size());
            EXPECT_EQ(r.events, d.prefix.event_trans.size());
            EXPECT_EQ(r.cutoffs, d.prefix.cutoffs);
            EXPECT_EQ(r.configurations, d.prefix.configs.size());
        } catch (const ReadError& e) {
            ++refused;
            switch (d.verdict) {
                case Oracle::Valid: FAIL() << "valid file refused: " << e.what(); break;
                case Oracle::Empty: EXPECT_EQ(e.failure, Failure::Empty); break;
                case Oracle::Invalid: EXPECT_EQ(e.failure, Failure::Malformed) << e.what(); break;
                case Oracle::Short:
                    EXPECT_TRUE(e.failure == Failure::Truncated || e.failure == Failure::Malformed) << e.what();
                    break;
            }
        }
        try {
            prefixfile::Prefix r = read_unf_text(t, "r.unf");
            EXPECT_EQ(prefixfile_test::broken_rule(r), "") << t;
        } catch (const ReadError& e) {
            EXPECT_EQ(e.failure, Failure::Syntax) << e.what();
        }
    }
    // Both outcomes occur often enough to mean something.
    EXPECT_GT(accepted, 20);
    EXPECT_GT(refused, 300);
}

TEST(PrefixReaders, TruncatedUnfIsASyntaxErrorUpToTheCutoffs) {
    const std::string text = unf_text(small_prefix(), "x.unf");
    const std::size_t end = text.find(".\n\n", text.find("cutoff event"));
    for (std::size_t n = 0; n < end; n += 3)
        EXPECT_EQ(failure_of([&] { read_unf_text(text.substr(0, n), "x.unf"); }), Failure::Syntax) << n;
}
