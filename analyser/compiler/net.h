// The compiler's global tables: what the statements of a net description
// declare, in declaration order, and the settings of the run.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "buchi.h"
#include "formula.h"
#include "ppio.h"
#include "records.h"

namespace tulc {

// Settings of the run, set once from the command line.
struct Settings {
    std::string netName;
    bool singleArity = false;     // -a: a place keeps one arity
    bool letMode = false;         // -R
    bool lineDirectives = false;  // -L
    std::uint32_t rangeWidthLimit = 0xFFFFFFFFu;  // -u
    std::optional<std::string> neverClaimFile;    // -N: "<net>.nev"
    std::string invocationName = "tulc";
};

// Condition bits of a tester value.
enum TesterCondition : std::uint32_t { kReject = 1, kDeadlock = 2, kLivelock = 4, kInfinite = 8 };

struct NetTables {
    Settings settings;

    std::vector<std::unique_ptr<PLACE>> places;
    std::unordered_map<std::string, std::uint32_t> placeIndex;  // name -> position in places
    std::vector<std::unique_ptr<TRANSITION>> transitions;
    std::unordered_map<std::string, TRANSITION*> transitionByName;

    // #enum names in order of definition, and their values (counting down
    // from 0xFFFFFFFF).
    std::vector<std::string> enumNames;
    std::unordered_map<std::string, std::uint32_t> enumValues;

    // Precedence classes: names in order of declaration (class k is
    // classNames[k-1]; class 0 is the default class), the name table, and
    // the class graph: classNodes[k] is the node of class k, or null when
    // no relation names class k.
    std::vector<std::string> classNames;
    std::unordered_map<std::string, std::uint32_t> classNumbers;
    std::vector<std::unique_ptr<CLASSNODE>> classNodes;
    // Edges declared with "<<" and with ">>": class -> sorted classes.
    std::map<std::uint32_t, std::vector<std::uint32_t>> strongEdges, weakEdges;

    // Tester: value -> condition bits (ordered as unsigned numbers).
    std::map<std::uint32_t, std::uint32_t> testerValues;
    std::optional<std::string> testerName;  // recorded by #tester
    PLACE* testerPlace = nullptr;           // the place of the tester, or t_e_s_t_e_r

    // #verify: the formula's token texts, and whether the statement was read.
    bool hasVerify = false;
    std::vector<std::string> verifyText;
    // After the translation: the atomic propositions in label order (atom i
    // owns label bits 2i and 2i+1), and the automaton that the tester place
    // follows (its states numbered 1..k; its accepting states are the
    // tester values with the condition "infinite").
    std::vector<Formula> verifyAtoms;
    Automaton buchi;

    PLACE* FindPlace(const std::string& name) const;
    std::uint32_t ClassCount() const { return static_cast<std::uint32_t>(classNames.size()) + 1; }
};

// The tables of this run.
NetTables& Net();
// Creates the tables empty (keeps nothing of an earlier run).
void NetTablesInit();

// The number of a class name, or none.
std::optional<std::uint32_t> ClassNumber(const std::string& name);

}  // namespace tulc
