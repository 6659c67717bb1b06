#include <gtest/gtest.h>

#include <random>

#include "dlbacktrack_fixture.h"
#include "dlbacktrack_prefix.h"
#include "dlbacktrack_search.h"

using namespace dlbacktrack;
using testsupport::Prefix;
using testsupport::mci_string;
using dlbacktrack_test::unf_text;

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

struct Shape {
    std::uint32_t events, conditions, cutoff_count;
    std::vector<std::string> labels;   // per event
    std::vector<std::uint8_t> cutoff;  // per event
    std::vector<std::vector<std::uint32_t>> pre, post;   // per event, condition numbers
    std::vector<std::string> config_names;
};

Shape shape(PrefixFile& pf) {
    PrefixGraph g = build_graph(pf);
    Shape s{g.events, g.conditions, pf.cutoff_count, {}, {}, {}, {}, pf.config_names};
    for (std::uint32_t e = 1; e <= g.events; ++e) {
        s.labels.push_back(pf.label(e));
        s.cutoff.push_back(g.cutoff[e]);
        s.pre.emplace_back(g.pre.begin() + g.pre_begin[e], g.pre.begin() + g.pre_begin[e + 1]);
        s.post.emplace_back(g.post.begin() + g.post_begin[e], g.post.begin() + g.post_begin[e + 1]);
    }
    return s;
}

void expect_same(PrefixFile& a, PrefixFile& b) {
    Shape x = shape(a), y = shape(b);
    EXPECT_EQ(x.events, y.events);
    EXPECT_EQ(x.conditions, y.conditions);
    EXPECT_EQ(x.cutoff_count, y.cutoff_count);
    EXPECT_EQ(x.labels, y.labels);
    EXPECT_EQ(x.cutoff, y.cutoff);
    EXPECT_EQ(x.pre, y.pre);
    EXPECT_EQ(x.post, y.post);
    EXPECT_EQ(x.config_names, y.config_names);
}

ReadError::Kind read_error_kind(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const ReadError& e) {
        if (message) *message = e.what();
        return e.kind;
    }
    ADD_FAILURE() << "no read error";
    return ReadError::Kind::Fatal;
}

}  // namespace

TEST(DlbacktrackReaders, BothFormsGiveTheSamePrefixWithWholeNames) {
    Prefix p = small_prefix();
    PrefixFile m = readMCI_data(mci_string(p), "x.mci");
    PrefixFile u = readUNF_data(unf_text(p, "x.unf"), "x.unf");
    expect_same(m, u);
    Shape s = shape(m);
    EXPECT_EQ(s.labels, (std::vector<std::string>{"t_1", "t_2", "t_3", "t_1"}));
    EXPECT_EQ(s.cutoff, (std::vector<std::uint8_t>{0, 0, 1, 0}));
    EXPECT_EQ(s.pre[1], (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(s.post[0], (std::vector<std::uint32_t>{3}));
    EXPECT_TRUE(s.config_names.empty());   // cut-offs present: no configuration handed back
    EXPECT_EQ(m.net->first_transition->name, "E1");
    EXPECT_EQ(m.net->last_place->name, "B5");
}

TEST(DlbacktrackReaders, EveryListedCutoffIsMarkedWhateverItsPosition) {
    // A chain E1 .. E9 where E9 and E4 are listed as cut-offs in that order.
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    std::uint32_t prev = 0;
    for (int i = 0; i < 9; ++i) {
        std::uint32_t e = p.add_event(1);
        p.add_condition(1, prev, {e});
        prev = e;
    }
    p.add_condition(1, prev);
    p.cutoffs = {{9, 0}, {4, 0}};
    for (const std::string& text : {mci_string(p), unf_text(p, "c.unf")}) {
        PrefixFile pf = text == mci_string(p) ? readMCI_data(text, "c.mci") : readUNF_data(text, "c.unf");
        EXPECT_EQ(pf.cutoff_count, 2u);
        EXPECT_EQ(pf.cutoff, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    }
}

TEST(DlbacktrackReaders, FirstConfigurationOnlyWithoutCutoffs) {
    Prefix p = small_prefix();
    p.cutoffs.clear();
    p.configs = {{1, 3, 4}, {2}};
    PrefixFile m = readMCI_data(mci_string(p), "x.mci");
    PrefixFile u = readUNF_data(unf_text(p, "x.unf"), "x.unf");
    EXPECT_EQ(m.config_names, (std::vector<std::string>{"E1", "E3", "E4"}));
    EXPECT_EQ(u.config_names, m.config_names);

    // No configuration at all (-c), and an empty first configuration.
    p.configs.clear();
    EXPECT_TRUE(readUNF_data(unf_text(p, "x.unf"), "x.unf").config_names.empty());
    EXPECT_TRUE(readMCI_data(mci_string(p), "x.mci").config_names.empty());
    p.configs = {{}};
    EXPECT_TRUE(readUNF_data(unf_text(p, "x.unf"), "x.unf").config_names.empty());
}

TEST(DlbacktrackReaders, LongListsWrapAndLongNamesAreCut) {
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
    PrefixFile u = readUNF_data(text, "w.unf");
    EXPECT_EQ(u.cutoff_count, 30u);
    for (std::uint32_t e = 1; e <= 30; ++e) EXPECT_TRUE(u.cutoff[e]) << e;
    EXPECT_EQ(u.label(1), std::string(300, 'x'));

    // A configuration list of forty events wraps as well.
    p.cutoffs.clear();
    p.configs = {{}};
    for (std::uint32_t e = 1; e <= 30; ++e) p.configs[0].push_back(e);
    PrefixFile v = readUNF_data(unf_text(p, "w.unf"), "w.unf");
    EXPECT_EQ(v.config_names.size(), 30u);
    EXPECT_EQ(v.config_names.back(), "E30");
}

TEST(DlbacktrackReaders, EmptyPrefixesAndUnknownKindLetter) {
    Prefix p = small_prefix();
    std::string text = unf_text(p, "x.unf");
    std::string message;
    // No conditions.
    std::string zero = text;
    zero.replace(zero.find("5 conditions"), 1, "0");
    EXPECT_EQ(read_error_kind([&] { readUNF_data(zero, "x.unf"); }, &message), ReadError::Kind::Syntax);
    EXPECT_EQ(message, "readUNF(): Netz enthaelt keine Bedingungen");
    std::string bytes = mci_string(p);
    bytes[0] = 0;
    EXPECT_EQ(read_error_kind([&] { readMCI_data(bytes, "x.mci"); }, &message), ReadError::Kind::Fatal);
    EXPECT_EQ(message, "readMCI(): Netz enthaelt keine Bedingungen");

    // '-' stands for kinds above 4; other letters are rejected.
    std::string dash = text;
    dash.replace(dash.find("(e)"), 3, "(-)");
    EXPECT_NO_THROW(readUNF_data(dash, "x.unf"));
    std::string bad = text;
    bad.replace(bad.find("(e)"), 3, "(q)");
    EXPECT_EQ(read_error_kind([&] { readUNF_data(bad, "x.unf"); }, &message), ReadError::Kind::Syntax);
    EXPECT_EQ(message, "ReadPlaceLabel(): Unbekanntes Stellen-Label");
}

TEST(DlbacktrackReaders, MissingFilesAreFatal) {
    std::string message;
    EXPECT_EQ(read_error_kind([] { readMCI("/nonexistent/x.mci"); }, &message), ReadError::Kind::Fatal);
    EXPECT_EQ(message, "readMCI(): kann Datei nicht oeffnen: '/nonexistent/x.mci'");
    EXPECT_EQ(read_error_kind([] { readUNF(""); }, &message), ReadError::Kind::Fatal);
    EXPECT_EQ(message, "readUNF(): Dateiname fehlt");
}

// Every proper prefix of a valid ".mci" file is an incomplete file.
TEST(DlbacktrackReaders, TruncatedMciIsAlwaysAReadError) {
    std::string bytes = mci_string(small_prefix());
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::string cut = bytes.substr(0, n);
        EXPECT_EQ(read_error_kind([&] { readMCI_data(cut, "t.mci"); }), ReadError::Kind::Fatal) << n;
    }
    EXPECT_NO_THROW(readMCI_data(bytes, "t.mci"));
}

// Numbers out of range, descending post-events, events without a preset,
// and huge counts are reported instead of being followed.
TEST(DlbacktrackReaders, MalformedMciNumbersAreReadErrors) {
    Prefix base = small_prefix();
    std::vector<std::function<void(Prefix&)>> faults = {
        [](Prefix& p) { p.conds[2].pre = 9; },
        [](Prefix& p) { p.conds[0].post = {2, 1}; },
        [](Prefix& p) { p.conds[2].post = {1}; },           // consumer before its pre-event
        [](Prefix& p) { p.conds[0].post = {1, 7}; },
        [](Prefix& p) { p.cutoffs = {{8, 0}}; },
        [](Prefix& p) { p.cutoffs = {{3, 12}}; },
        [](Prefix& p) { p.configs = {{1, 99}}; },
        [](Prefix& p) { p.event_trans[0] = 4; },
        [](Prefix& p) { p.event_trans[0] = 0; },
        [](Prefix& p) { p.conds[1].post.clear(); p.conds[0].post = {1}; },   // E2 without preset
    };
    for (std::size_t i = 0; i < faults.size(); ++i) {
        Prefix p = base;
        faults[i](p);
        EXPECT_EQ(read_error_kind([&] { readMCI_data(mci_string(p), "m.mci"); }), ReadError::Kind::Fatal)
            << "fault " << i;
    }
    // Counts that the file cannot hold.
    std::string bytes = mci_string(base);
    bytes[4] = bytes[5] = bytes[6] = static_cast<char>(0xFF);
    EXPECT_EQ(read_error_kind([&] { readMCI_data(bytes, "m.mci"); }), ReadError::Kind::Fatal);
    // A name block that is not closed.
    std::string open = bytes = mci_string(base);
    open.pop_back();
    open += 'x';
    EXPECT_EQ(read_error_kind([&] { readMCI_data(open, "m.mci"); }), ReadError::Kind::Fatal);
}

// Random corruption: the reader either reads the file or reports an error;
// the address sanitizer watches every access.
TEST(DlbacktrackReaders, CorruptedFilesNeverCrash) {
    std::string bytes = mci_string(small_prefix());
    std::string text = unf_text(small_prefix(), "r.unf");
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string b = bytes, t = text;
        for (int k = 0; k < 3; ++k) {
            b[rng() % b.size()] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng() % 12);
            t[rng() % t.size()] = "0123456789-,.( \n>"[rng() % 17];
        }
        try {
            PrefixFile pf = readMCI_data(b, "r.mci");
            build_graph(pf);
        } catch (const ReadError&) {
        }
        try {
            PrefixFile pf = readUNF_data(t, "r.unf");
            build_graph(pf);
        } catch (const ReadError&) {
        }
    }
}

TEST(DlbacktrackReaders, TruncatedUnfIsAReadErrorUpToTheCutoffs) {
    std::string text = unf_text(small_prefix(), "x.unf");
    std::size_t end = text.find(".\n\n", text.find("cutoff event"));
    for (std::size_t n = 0; n < end; n += 3) {
        std::string cut = text.substr(0, n);
        EXPECT_EQ(read_error_kind([&] { readUNF_data(cut, "x.unf"); }), ReadError::Kind::Syntax) << n;
    }
}
