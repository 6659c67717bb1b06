// The object tree of an IF specification and the scoped identifier table
// that the scanner and the parser keep while they read it.
//
// Every record lives in the arenas of `Program` until the process ends: the
// tree is built once, read by the numbering and the translation, and never
// freed piece by piece.  Trees of expressions can be as deep as the parse
// stack allows, so nothing here recurses over them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "mnet_symtab.h"

namespace statecast {

using mnet::ValueSet;

struct PosRec;
struct Ident;

// Encoded values: the same as the M-net value sets use.
enum : std::int32_t { V_MIN = -10000, V_MAX = 32763, V_FALSE = 32764, V_TRUE = 32765, V_NIL = 32766, V_NONE = 32767 };

// Identifier classes.  ENV_CHANNEL is the class of the environment channels
// that the numbering adds to the system's declarations; they never enter the
// identifier table.
enum IdentClass : std::uint8_t {
    CL_PLACEHOLDER = 0,
    CL_ROOT = 1,
    CL_PROCESS = 2,
    CL_ROUTE = 3,
    CL_SIGNAL = 4,
    CL_STATE = 6,
    CL_CONST = 7,
    CL_TYPE = 8,
    CL_VAR = 9,
    CL_PROCEDURE = 10,
    CL_ENV_CHANNEL = 11,
};

// A type: a value set, or one of three markers; and its range.
struct Type {
    enum Marker : std::uint8_t { LIMITED, UNLIMITED, PID, CLOCK };
    Marker marker = LIMITED;
    ValueSet values;  // LIMITED only
    std::int32_t lo = 0, hi = 0;
    bool unknown = false;  // stands in for a type whose use failed
    bool limited() const { return marker == LIMITED; }
    bool is_boolean() const { return marker == LIMITED && values == ValueSet{V_FALSE, V_TRUE}; }
};

// Expression types.
enum ExprType : std::uint8_t { ET_NUMERIC = 0, ET_BOOLEAN = 1, ET_PID = 2, ET_CLOCK = 3, ET_ANY = 4 };

// Expression kinds (the numbers of the grammar's actions).
enum ExprKind : std::uint8_t {
    EK_LITERAL = 0, EK_VARIABLE = 1, EK_PAREN = 2, EK_IMPLIES = 3, EK_OR = 4, EK_XOR = 5, EK_AND = 6,
    EK_EQ = 7, EK_NE = 8, EK_GT = 9, EK_GE = 10, EK_LT = 11, EK_LE = 12,
    EK_ADD = 13, EK_SUB = 14, EK_MUL = 15, EK_DIV = 16, EK_MOD = 17, EK_NEG = 18, EK_NOT = 19,
    EK_PID_INDEX = 20,  // {integer} e
    EK_PID_OF = 21,     // {P} e
    // clock constraints: the relation as its character code
    EK_CLOCK_NE = 35, EK_CLOCK_GE = 36, EK_CLOCK_LE = 37, EK_CLOCK_LT = 60, EK_CLOCK_EQ = 61, EK_CLOCK_GT = 62,
};

struct Expr {
    std::uint8_t kind = 0;
    std::uint8_t type = ET_NUMERIC;
    bool constant = false;
    Expr* left = nullptr;
    Expr* right = nullptr;
    std::int32_t value = 0;   // literal
    Ident* ident = nullptr;   // variable; the cast identifier of kind 21; a clock variable
    Ident* ident2 = nullptr;  // the second clock variable of x - y
};

// Objects attached to identifier records.
struct Object {
    virtual ~Object() = default;
};

struct ConstObj : Object {
    std::int32_t value = 0;
};

struct TypeObj : Object {
    Type type;
};

struct FormalParam {
    std::uint8_t mode = 0;  // 0 in, 1 out or in/out
    Ident* ident = nullptr;
};

struct ProcessObj : Object {
    bool has_body = false;  // false for "env" and for the system's own name
    std::vector<Ident*> items;    // types, constants, variables, procedures, states
    std::vector<Ident*> records;  // the closed scope, newest first
    int state_count = 0;
    std::vector<FormalParam> params;
    Ident* start_state = nullptr;
    std::int32_t initial = 0, max = 0, capacity = 0, version = 0;
    std::uint8_t overflow = 0;
    PosRec* ref = nullptr;
    Ident* ident = nullptr;
    // numbering
    std::int32_t pid_first = 0;
};

struct EnvChannelObj;

struct RouteObj : Object {
    std::int32_t initial = 0, instances = 0;
    Ident* from = nullptr;
    Ident* to = nullptr;
    std::vector<Ident*> signals;
    std::int32_t capacity = 0, version = 0;
    std::uint8_t queue = 0, reliability = 2, casting = 4, delay = 7;
    std::int32_t delay_lo = 0, delay_hi = 0;
    std::uint8_t overflow = 0;
    PosRec* ref = nullptr;
    Ident* ident = nullptr;
    // numbering
    std::int32_t pid_first = 0;
    EnvChannelObj* from_channel = nullptr;  // the environment channel at the source end
    EnvChannelObj* to_channel = nullptr;    // at the destination end
    ValueSet signal_set;                    // signal numbers the route carries
};

enum RouteCode : std::uint8_t {
    RC_FIFO = 0, RC_MULTISET = 1, RC_RELIABLE = 2, RC_LOSSY = 3, RC_PEER = 4, RC_MULTICAST = 5, RC_UNICAST = 6,
    RC_URGENT = 7, RC_DELAY = 8, RC_RATE = 9,
};

struct SignalObj : Object {
    std::vector<const Type*> params;  // null entries for parameter types whose use failed
    PosRec* ref = nullptr;
    Ident* ident = nullptr;
    // numbering
    std::int32_t first = 0, last = -1;
    std::vector<std::int32_t> lo, size;  // per parameter: lower bound (-1 for pid) and domain size
};

struct Transition;

struct StateItem {
    Transition* transition = nullptr;  // a transition, or
    Ident* state = nullptr;            // a nested state
};

struct StateObj : Object {
    std::uint8_t stability = 2;  // 0 unstable, 1 stable, 2 neither
    std::int32_t number = 0;     // within the process, from 1
    Expr* tpc = nullptr;
    std::vector<Ident*> save;
    bool has_save = false;
    std::vector<StateItem> items;
    PosRec* ref = nullptr;
    Ident* ident = nullptr;
    bool atomic() const { return stability != 0; }
};

struct ProcedureObj : Object {
    std::vector<FormalParam> params;
    std::vector<Ident*> records;
    PosRec* ref = nullptr;
};

struct SystemObj : Object {
    std::vector<Ident*> decls;    // declarations in order; environment channels appended by the numbering
    std::vector<Ident*> records;  // the closed system scope, newest first
    PosRec* ref = nullptr;
    Ident* ident = nullptr;
};

struct EnvChannelObj : Object {
    std::string name;
    RouteObj* route = nullptr;
    bool source_end = false;  // the environment is the route's source
};

// Statements.
enum StmtKind : std::uint8_t {
    SK_NEXTSTATE = 0, SK_OUTPUT = 1, SK_TASK = 2, SK_IF = 3, SK_WHILE = 4,
    SK_FORK_ROUTE = 6, SK_FORK_PROCESS = 7, SK_KILL = 8, SK_STOP = 9, SK_TEXT = 10,
};

struct Stmt {
    std::uint8_t kind = 0;
    PosRec* ref = nullptr;
    Ident* target = nullptr;  // nextstate target, output signal, task variable, fork result variable
    Ident* name = nullptr;    // fork: the signalroute, or the cast identifier of the process
    Expr* expr = nullptr;     // task expression, kill operand, if/while condition
    std::vector<Expr*> args;  // output and fork arguments
    Expr* via = nullptr;
    Expr* to = nullptr;
    std::vector<Stmt*> then_list, else_list;  // if; while body in then_list
    bool has_else = false;
    std::string text;  // text-only statements
};

struct InputArg {
    std::uint8_t kind = 2;  // 0 constant, 1 identifier, 2 neither (a failed use)
    std::int32_t value = 0;
    Ident* ident = nullptr;
};

struct Input {
    Ident* signal = nullptr;  // null after a failed use
    std::vector<InputArg> args;
};

enum Deadline : std::uint8_t { DL_EAGER = 0, DL_DELAYABLE = 1, DL_LAZY = 2 };

struct Transition {
    std::uint8_t deadline = DL_LAZY;
    Expr* provided = nullptr;
    Expr* when = nullptr;
    Input* input = nullptr;
    std::vector<Stmt*> statements;  // the terminator last
    PosRec* provided_ref = nullptr;
    PosRec* input_ref = nullptr;
};

// An identifier record.
struct Ident {
    std::string name;
    std::uint8_t cls = CL_PLACEHOLDER;
    int level = 0;
    Object* object = nullptr;
    PosRec* ref = nullptr;  // variables and parameters: their position record
    bool hidden = false;    // a temporary record no lookup finds

    template <class T>
    T* as() const { return static_cast<T*>(object); }
    // The type record of a variable.
    const Type* var_type() const { return cls == CL_VAR && object ? &as<TypeObj>()->type : nullptr; }
};

// The identifier table: a stack of records per name, the newest first, and
// per level the records entered at that level in order.
class IdentTable {
public:
    explicit IdentTable(std::deque<Ident>& arena) : arena_(arena) {}
    int level() const { return level_; }
    // Innermost record of the name, or null.
    Ident* find(const std::string& name) const;
    // Innermost record; a placeholder is entered at the current level when
    // there is none (fresh is then true).
    Ident* lookup(const std::string& name, bool* fresh);
    // A new record of the name at the current level.
    Ident* enter(const std::string& name, std::uint8_t cls);
    void open_level();
    // Takes the records of the current level off the table, newest first.
    std::vector<Ident*> close_level();
    // Removes a record that was just entered (the placeholder of a cast
    // identifier) from the table.
    void unlink(Ident* r);
    // Makes a record findable at the current level (the root record).
    Ident* make(const std::string& name, std::uint8_t cls, int level);

private:
    std::deque<Ident>& arena_;
    std::unordered_map<std::string, std::vector<Ident*>> by_name_;
    std::vector<std::vector<Ident*>> levels_{1};
    int level_ = 0;
};

// Everything the parser builds; the later phases read it.
struct Program {
    std::deque<Ident> idents;
    std::deque<Expr> exprs;
    std::deque<Stmt> stmts;
    std::deque<Transition> transitions;
    std::deque<Input> inputs;
    std::vector<std::unique_ptr<Object>> objects;
    IdentTable table{idents};

    Ident* system = nullptr;          // the identifier record of the system's name
    std::int64_t pid_count = 0;       // the parser's pid count (2 + every instance)
    struct StateEntry {
        std::string process, state;
        std::int32_t number;
    };
    std::vector<StateEntry> state_entries;  // for the information file
    std::vector<Stmt*> outputs;             // every output statement, for the route analysis

    template <class T>
    T* make() {
        objects.push_back(std::make_unique<T>());
        return static_cast<T*>(objects.back().get());
    }
    Expr* new_expr() { return &exprs.emplace_back(); }
    Stmt* new_stmt() { return &stmts.emplace_back(); }
};

// The processes (with body) and signalroutes of the system in declaration
// order: the objects a pid can belong to.
struct PidOwner {
    Ident* ident;
    std::int32_t first;
    std::int32_t count;
};
std::vector<PidOwner> pid_owners(const SystemObj* system);

}  // namespace statecast
