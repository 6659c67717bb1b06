// The tests' own model of B(PN)2: programs built as small trees, written
// out as source text for progcast, and run by a direct interpreter that
// explores every interleaving of their atomic actions.  The interpreter
// knows nothing of nets; its valuations, terminations and deadlocks are
// compared with the reachability graph of the expanded net.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oracle {

enum : int { TT = 32765, FF = 32764 };

struct Decl;

// Expressions.
struct Expr {
    enum Kind { Const, Read, Pre, Post, Recv, Send, Empty, Full, Bin, Not, Neg } kind = Const;
    int value = 0;
    const Decl* decl = nullptr;  // the variable or channel
    std::string op;              // Bin: and or = # < > <= >= + - * / %
    std::shared_ptr<const Expr> left, right;
};
using E = std::shared_ptr<const Expr>;

E num(int v);
E truth(bool v);
E read(const Decl& d);   // x
E pre(const Decl& d);    // 'x
E post(const Decl& d);   // x'
E recv(const Decl& c);   // c?
E send(const Decl& c);   // c!
E empty(const Decl& c);  // c??
E full(const Decl& c);   // c!!
E bin(E l, const std::string& op, E r);
E negate(E e);           // not e

// Commands.
struct Com;
using C = std::shared_ptr<const Com>;
struct Arg {
    const Decl* ident = nullptr;  // a plain identifier
    E expr;                       // or an expression
};
struct Com {
    enum Kind { Action, Seq, Par, Loop, Block, Call } kind = Action;
    E expr;
    std::vector<C> parts;                     // Seq, Par
    std::vector<std::pair<C, bool>> alts;     // Loop: command, true for repeat
    C enter;                                  // Loop: entry part
    std::vector<const Decl*> decls;           // Block
    C body;                                   // Block
    const Decl* proc = nullptr;               // Call
    std::vector<Arg> args;                    // Call
};

// Declarations; a program owns them (Program::declare).
struct Decl {
    enum Kind { Var, Chan, Stack, Proc } kind = Var;
    int id = 0;
    std::string name;
    std::vector<int> values;  // the value set
    std::optional<int> init;
    int capacity = 0;
    // Procedures: parameters (mode 1 val, 3 res, 4 ref) and body block.
    std::vector<std::pair<const Decl*, int>> params;
    C body;
    int instances = 2;
};

C action(E e);
C seq(std::vector<C> parts);
C par(std::vector<C> parts);
C loop(std::vector<std::pair<C, bool>> alts, C enter = nullptr);
C block(std::vector<const Decl*> decls, C body);
C call(const Decl& p, std::vector<Arg> args = {});

struct Program {
    std::vector<std::unique_ptr<Decl>> decls;
    C root;  // a block
    Decl& var(const std::string& name, std::vector<int> values, std::optional<int> init = std::nullopt);
    Decl& chan(const std::string& name, int capacity, std::vector<int> values);
    Decl& proc(const std::string& name, std::vector<std::pair<const Decl*, int>> params, int instances = 2);
    Decl& param(const std::string& name, std::vector<int> values);
    std::string text() const;
};

// What the runs of a program reach, seen through the variables named.
struct Behaviour {
    // Valuations: the sorted "name=value" entries of the variables alive.
    std::set<std::vector<std::string>> reachable;
    std::set<std::vector<std::string>> deadlocks;  // dead states other than the end
    bool terminates = false;
    std::size_t states = 0;
};

// With parallel_decls the declarations of a block start and end in any
// order (progcast -t); with instance_set calls take any free instance of
// their procedure and end in any order (progcast -u), otherwise the
// instances form a stack.
Behaviour run(const Program& p, const std::set<std::string>& observed, bool parallel_decls = false,
              bool instance_set = false);

}  // namespace oracle
