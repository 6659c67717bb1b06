#include "parser.h"

#include <algorithm>

#include "mnet_base.h"
#include "node.h"
#include "ref.h"
#include "scanner.h"
#include "settings.h"

namespace statecast {

namespace {

using mnet::report;
using mnet::ERROR;
using mnet::WARNING;

struct SyntaxError {};
struct StackOverflow {};

// The largest number of parameters of a process: the create action carries
// the pid and the parameters, at most ten in all.
constexpr std::size_t MAX_PROCESS_PARAMS = 9;

class Parser {
public:
    Parser(const std::string& text, Program& program) : p_(program), sc_(text, program.table) {}

    ParseResult run() {
        try {
            system_spec();
            return PARSE_OK;
        } catch (const SyntaxError&) {
            report(mnet::ERROR_UNCOUNTED, "parse error");
            return PARSE_SYNTAX_ERROR;
        } catch (const StackOverflow&) {
            report(mnet::ERROR_UNCOUNTED, "parser stack overflow");
            return PARSE_STACK_OVERFLOW;
        }
    }

private:
    Program& p_;
    Scanner sc_;
    Token la_;
    bool have_ = false;
    int depth_ = 0;

    // Counters of the grammar's actions.
    ProcessObj* process_ = nullptr;
    int state_count_ = 0;
    int enum_count_ = 0;
    Ident* start_state_ = nullptr;
    bool start_flag_ = false;
    std::uint8_t stability_ = 2;
    RouteObj route_attrs_;  // attribute codes of the signalroute being read
    struct Cast {
        std::string name;
        Ident** slot;
    };
    std::vector<Cast> casts_;
    Ident* self_ = nullptr;

    // ---- tokens ---------------------------------------------------------
    const Token& peek() {
        if (!have_) {
            la_ = sc_.next();
            have_ = true;
        }
        return la_;
    }
    bool at(int code) { return peek().code == code; }
    Token take() {
        peek();
        have_ = false;
        return std::move(la_);
    }
    Token expect(int code) {
        if (!at(code)) throw SyntaxError{};
        return take();
    }
    bool accept(int code) {
        if (!at(code)) return false;
        take();
        return true;
    }

    // ---- the modelled parse stack ----------------------------------------
    // A list "x , x , ..." of at least one element; each element and its
    // comma stay on the stack until the list ends (the rules recurse to the
    // right).
    template <class Each>
    void comma_list(Each each) {
        int n = 0;
        for (;;) {
            each();
            push(2);
            ++n;
            if (!accept(',')) break;
        }
        pop(2 * n);
    }

    void push(int n = 1) {
        depth_ += n;
        if (depth_ > PARSE_STACK_LIMIT) throw StackOverflow{};
    }
    void pop(int n = 1) { depth_ -= n; }

    // ---- identifier table rules ------------------------------------------
    Ident* detached(const std::string& name, std::uint8_t cls, Object* object) {
        Ident* r = p_.table.make(name, cls, p_.table.level());
        r->hidden = true;
        r->object = object;
        return r;
    }

    // Rule 3.
    Ident* define(const Token& t, std::uint8_t cls, Object* object) {
        Ident* r = t.ident;
        if (t.fresh) {
            r->cls = cls;
        } else if (r->level == p_.table.level()) {
            if (r->cls != cls) {
                report(ERROR, "%s previously declared", t.text.c_str());
                return detached(t.text, cls, object);
            }
            if (r->object) {
                report(ERROR, "%s previously defined", t.text.c_str());
                return detached(t.text, cls, object);
            }
        } else {
            r = p_.table.enter(t.text, cls);
        }
        r->object = object;
        return r;
    }

    // Rule 2.
    Ident* declare(const Token& t, std::uint8_t cls) {
        Ident* r = t.ident;
        if (t.fresh) {
            r->cls = cls;
        } else if (r->level == p_.table.level()) {
            if (r->cls != cls) report(ERROR, "%s is of wrong type", t.text.c_str());
        } else {
            r = p_.table.enter(t.text, cls);
        }
        return r;
    }

    // Rule 4.
    Ident* use(const Token& t, std::uint8_t cls) {
        Ident* r = t.ident;
        if (!r || r->cls != cls || !r->object) {
            report(ERROR, "identifier %s undeclared or used incorrectly", t.text.c_str());
            return nullptr;
        }
        return r;
    }

    // Rule 5.
    std::vector<Ident*> close_scope() {
        std::vector<Ident*> records = p_.table.close_level();
        for (Ident* r : records)
            if (!r->object) report(ERROR, "%s declared but not defined", r->name.c_str());
        return records;
    }

    // A cast identifier: a temporary record that no lookup finds.
    Ident* cast_record(const Token& t) {
        Ident* r;
        if (t.fresh) {
            r = t.ident;
            p_.table.unlink(r);
        } else {
            r = p_.table.make(t.text, CL_PLACEHOLDER, p_.table.level());
            r->hidden = true;
        }
        return r;
    }

    // ---- helpers --------------------------------------------------------
    static Pos after(const Pos& p) { return {p.line, p.col1, p.col2 + 1}; }

    const Type* type_of(Ident* r) { return r && r->cls == CL_TYPE && r->object ? &r->as<TypeObj>()->type : nullptr; }

    // type_name: a NAME used as a type.
    const Type* type_name() {
        Token t = expect(T_NAME);
        return type_of(use(t, CL_TYPE));
    }

    std::int32_t property(const std::string& object, const char* what, std::int32_t default_value) {
        return get_if_property(object + "." + what, default_value);
    }

    // ---- system ------------------------------------------------------------
    void system_spec() {
        Token sys = expect(K_SYSTEM);
        Token name = expect(T_NAME);
        Token semi = expect(';');
        SystemObj* system = p_.make<SystemObj>();
        Ident* r = define(name, CL_PROCESS, system);
        system->ident = r;
        p_.system = r;
        p_.table.open_level();
        builtins();
        p_.pid_count = 2;
        casts_.clear();
        system->ref = new_posrec(RK_SYSTEM, sys.pos, semi.pos, r);
        push(2);

        int pending = 0;
        while (Ident* d = declaration()) {
            system->decls.push_back(d);
            push();
            ++pending;
        }
        pop(pending);
        expect(K_ENDSYSTEM);
        expect(';');
        resolve_casts();
        system->records = close_scope();
        pop(2);
        expect(T_END);
    }

    void builtins() {
        auto type = [&](const char* name, Type::Marker marker, ValueSet values, std::int32_t lo, std::int32_t hi) {
            TypeObj* t = p_.make<TypeObj>();
            t->type.marker = marker;
            t->type.values = std::move(values);
            t->type.lo = lo;
            t->type.hi = hi;
            Ident* r = p_.table.enter(name, CL_TYPE);
            r->object = t;
            return t;
        };
        type("integer", Type::UNLIMITED, {}, V_MIN, V_MAX);
        type("boolean", Type::LIMITED, {V_FALSE, V_TRUE}, V_FALSE, V_TRUE);
        TypeObj* pid = type("pid", Type::PID, {}, V_NIL, V_NIL);
        type("float", Type::UNLIMITED, {}, 0, 0);
        type("clock", Type::CLOCK, {}, 0, 0);
        Ident* env = p_.table.enter("env", CL_PROCESS);
        ProcessObj* env_object = p_.make<ProcessObj>();
        env_object->ident = env;
        env->object = env_object;
        self_ = p_.table.enter("self", CL_VAR);
        self_->object = pid;
        set_self_ident(self_);
    }

    void resolve_casts() {
        for (Cast& c : casts_) {
            Ident* r = p_.table.find(c.name);
            if (!r || (r->cls != CL_PROCESS && r->cls != CL_ROUTE) || !r->object) {
                report(ERROR, "cast identifier %s is neither a process nor a signalroute", c.name.c_str());
                *c.slot = nullptr;
            } else {
                *c.slot = r;
            }
        }
        casts_.clear();
    }

    // One declaration, or null at the end of the list.
    Ident* declaration() {
        switch (peek().code) {
        case K_PROCESS: return process_decl();
        case K_SIGNALROUTE: return signalroute_decl();
        case K_SIGNAL: return signal_decl();
        case K_CONST: return const_decl();
        case K_TYPE: return type_decl();
        case K_VAR: return var_decl();
        case K_PROCEDURE: return procedure_decl();
        default: return nullptr;
        }
    }

    // ---- signals and signalroutes -------------------------------------------
    Ident* signal_decl() {
        expect(K_SIGNAL);
        Token name = expect(T_NAME);
        expect('(');
        SignalObj* s = p_.make<SignalObj>();
        if (!at(')')) comma_list([&] { s->params.push_back(type_name()); });
        Token close = expect(')');
        expect(';');
        for (const Type* t : s->params) {
            if (!t || t->unknown) continue;
            if (t->marker == Type::UNLIMITED) report(ERROR, "data type not supported");
            else if (t->marker == Type::CLOCK) report(ERROR, "clock type not supported as signal");
        }
        Ident* r = define(name, CL_SIGNAL, s);
        s->ident = r;
        s->ref = new_posrec(RK_SIGNAL, name.pos, close.pos, r);
        return r;
    }

    // signal_names: NAME used as a signal, in order.
    std::vector<Ident*> signal_names() {
        std::vector<Ident*> names;
        comma_list([&] {
            if (Ident* r = use(expect(T_NAME), CL_SIGNAL)) names.push_back(r);
        });
        return names;
    }

    Ident* signalroute_decl() {
        Token kw = expect(K_SIGNALROUTE);
        Token name = expect(T_NAME);
        expect('(');
        std::int32_t initial = constant_expression();
        expect(')');
        push(4);
        while (accept('#')) route_attribute();
        // route_ends
        expect(K_FROM);
        Token from = expect(T_NAME);
        Ident* from_r = declare(from, CL_PROCESS);
        expect(K_TO);
        Token to = expect(T_NAME);
        Ident* to_r = declare(to, CL_PROCESS);
        expect(K_WITH);
        std::vector<Ident*> signals = signal_names();
        Token semi = expect(';');
        pop(4);

        RouteObj* route = p_.make<RouteObj>();
        *route = route_attrs_;
        route->initial = initial;
        route->from = from_r;
        route->to = to_r;
        route->signals = std::move(signals);
        Ident* r = define(name, CL_ROUTE, route);
        route->ident = r;
        route->ref = new_posrec(RK_ROUTE, kw.pos, semi.pos, r);
        const std::string& n = name.text;
        route->capacity = route->delay == RC_URGENT ? 0 : property(n, "capacity", settings.route_capacity);
        route->overflow = static_cast<std::uint8_t>(property(n, "overflow", settings.overflow));
        route->instances = property(n, "instances", settings.route_instances);
        instance_checks(route->initial, route->instances);
        capacity_check(route->capacity);
        p_.pid_count += route->instances;
        route->version = property(n, "version", settings.route_variant);
        route_attrs_ = RouteObj();
        return r;
    }

    void route_attribute() {
        RouteObj& a = route_attrs_;
        switch (take().code) {
        case K_FIFO: a.queue = RC_FIFO; break;
        case K_MULTISET: a.queue = RC_MULTISET; break;
        case K_RELIABLE: a.reliability = RC_RELIABLE; break;
        case K_LOSSY: a.reliability = RC_LOSSY; break;
        case K_PEER: a.casting = RC_PEER; break;
        case K_MULTICAST: a.casting = RC_MULTICAST; break;
        case K_UNICAST: a.casting = RC_UNICAST; break;
        case K_URGENT: a.delay = RC_URGENT; break;
        case K_DELAY:
        case K_RATE: {
            std::uint8_t kind = la_.code == K_DELAY ? RC_DELAY : RC_RATE;
            push(2);
            expect('[');
            std::int32_t lo = constant_expression();
            expect(',');
            std::int32_t hi = constant_expression();
            expect(']');
            pop(2);
            a.delay = kind;
            a.delay_lo = lo;
            a.delay_hi = hi;
            break;
        }
        default: throw SyntaxError{};
        }
    }

    // The instance counts of a process or a signalroute.
    void instance_checks(std::int32_t initial, std::int32_t max) {
        if (initial > max) report(ERROR, "initial number larger than maximum");
        if (initial < 0 || max <= 0) report(ERROR, "number of instances is broken");
    }

    // A queue capacity is a value of the net: positions and lengths run over
    // 0..capacity, which must neither be empty nor reach the codes of
    // false, true and nil.
    void capacity_check(std::int32_t capacity) {
        if (capacity < 0 || capacity > V_MAX) report(ERROR, "capacity %d out of range 0..%d", capacity, V_MAX);
    }

    // ---- types, constants, variables ---------------------------------------
    Ident* const_decl() {
        expect(K_CONST);
        Token name = expect(T_NAME);
        expect('=');
        std::int32_t value = constant_expression();
        expect(';');
        ConstObj* c = p_.make<ConstObj>();
        c->value = value;
        return define(name, CL_CONST, c);
    }

    Ident* type_decl() {
        expect(K_TYPE);
        Token name = expect(T_NAME);
        expect('=');
        push(3);
        TypeObj* t = p_.make<TypeObj>();
        if (at(T_NAME)) {
            Token other = take();
            expect(';');
            if (const Type* source = type_of(use(other, CL_TYPE))) t->type = *source;
            else t->type.unknown = true;
        } else {
            type_def(t->type);
            expect(';');
        }
        pop(3);
        enum_count_ = 0;
        return define(name, CL_TYPE, t);
    }

    void type_def(Type& type) {
        Token kw = take();
        switch (kw.code) {
        case K_ENUM: {
            comma_list([&] {
                Token lit = expect(T_NAME);
                ConstObj* c = p_.make<ConstObj>();
                c->value = enum_count_++;
                define(lit, CL_CONST, c);
            });
            expect(K_ENDENUM);
            range_type(type, 0, enum_count_ - 1);
            break;
        }
        case K_RANGE: {
            std::int32_t lo = constant_expression();
            expect('.');
            expect('.');
            std::int32_t hi = constant_expression();
            if (lo > hi) report(ERROR, "empty range %d..%d", lo, hi);
            range_type(type, lo, hi);
            break;
        }
        case K_RECORD: {
            int n = 0;
            while (at(T_NAME)) {
                take();
                expect(T_NAME);
                expect(';');
                push();
                ++n;
            }
            pop(n);
            expect(K_ENDRECORD);
            report(ERROR, "records are not supported");
            type.unknown = true;
            break;
        }
        case K_ABSTRACT: {
            expect(T_NAME);
            expect(T_NAME);
            expect('(');
            int n = 0;
            while (at(T_NAME)) {
                take();
                expect(',');
                push(2);
                ++n;
            }
            pop(2 * n);
            expect(')');
            expect(';');
            expect(K_ENDABSTRACT);
            report(ERROR, "abstracts are not supported");
            type.unknown = true;
            break;
        }
        default: throw SyntaxError{};
        }
    }

    static void range_type(Type& type, std::int32_t lo, std::int32_t hi) {
        type.marker = Type::LIMITED;
        type.lo = lo;
        type.hi = hi;
        type.values.clear();
        for (std::int32_t v = lo; v <= hi; ++v) type.values.push_back(v);
    }

    Ident* var_decl() {
        Token kw = expect(K_VAR);
        Token name = expect(T_NAME);
        const Type* t = type_name();
        Token semi = expect(';');
        TypeObj* object = p_.make<TypeObj>();
        if (t) object->type = *t;
        else object->type.unknown = true;
        Ident* r = define(name, CL_VAR, object);
        if (t && !t->unknown && t->marker == Type::UNLIMITED) report(ERROR, "data type not supported");
        if (!t || t->marker != Type::CLOCK) r->ref = new_posrec(RK_VARIABLE, kw.pos, semi.pos, r);
        return r;
    }

    // ---- processes and procedures -----------------------------------------
    std::vector<FormalParam> opt_fpar() {
        std::vector<FormalParam> params;
        if (!accept(K_FPAR)) return params;
        comma_list([&] {
            std::uint8_t mode = 0;
            if (accept(K_IN)) {
                if (accept('/')) {
                    expect(K_OUT);
                    mode = 1;
                }
            } else if (accept(K_OUT)) {
                mode = 1;
            }
            Token name = expect(T_NAME);
            const Type* t = type_name();
            TypeObj* object = p_.make<TypeObj>();
            if (t) object->type = *t;
            else object->type.unknown = true;
            Ident* r = define(name, CL_VAR, object);
            if (t && !t->unknown && t->marker == Type::UNLIMITED) report(ERROR, "cannot use unlimited sort");
            r->ref = new_posrec(mode ? RK_OUT_PARAM : RK_IN_PARAM, name.pos, after(name.pos), r);
            params.push_back({mode, r});
        });
        expect(';');
        return params;
    }

    Ident* process_decl() {
        Token kw = expect(K_PROCESS);
        Token name = expect(T_NAME);
        expect('(');
        std::int32_t initial = constant_expression();
        Token close = expect(')');
        expect(';');
        ProcessObj* proc = p_.make<ProcessObj>();
        proc->has_body = true;
        proc->max = property(name.text, "instances", settings.process_instances);
        proc->initial = initial;
        Ident* r = define(name, CL_PROCESS, proc);
        proc->ident = r;
        p_.table.open_level();
        instance_checks(initial, proc->max);
        proc->ref = new_posrec(RK_PROCESS, kw.pos, close.pos, r);
        process_ = proc;
        start_state_ = nullptr;
        state_count_ = 0;
        push(2);

        proc->params = opt_fpar();
        int pending = 0;
        for (;;) {
            Ident* item = nullptr;
            switch (peek().code) {
            case K_CONST: item = const_decl(); break;
            case K_TYPE: item = type_decl(); break;
            case K_VAR: item = var_decl(); break;
            case K_PROCEDURE: item = procedure_decl(); break;
            case K_STATE: item = state_decl(); break;
            default: break;
            }
            if (!item) break;
            proc->items.push_back(item);
            push();
            ++pending;
        }
        pop(pending);
        expect(K_ENDPROCESS);
        expect(';');
        pop(2);

        proc->state_count = state_count_;
        proc->start_state = start_state_;
        proc->capacity = property(name.text, "capacity", settings.queue_capacity);
        capacity_check(proc->capacity);
        proc->overflow = static_cast<std::uint8_t>(property(name.text, "overflow", settings.overflow));
        proc->version = property(name.text, "version", settings.process_variant);
        for (const FormalParam& fp : proc->params)
            if (fp.mode == 1) report(ERROR, "process cannot have in/out parameters");
        if (proc->params.size() > MAX_PROCESS_PARAMS)
            report(ERROR, "process %s has more than %zu parameters", name.text.c_str(), MAX_PROCESS_PARAMS);
        proc->records = close_scope();
        if (!start_state_) report(ERROR, "process has no start state defined");
        p_.pid_count += proc->max;
        for (Ident* rec : proc->records)
            if (rec->cls == CL_STATE && rec->object)
                p_.state_entries.push_back({name.text, rec->name, rec->as<StateObj>()->number});
        process_ = nullptr;
        return r;
    }

    Ident* procedure_decl() {
        Token kw = expect(K_PROCEDURE);
        Token name = expect(T_NAME);
        Token semi = expect(';');
        ProcedureObj* proc = p_.make<ProcedureObj>();
        Ident* r = define(name, CL_PROCEDURE, proc);
        proc->ref = new_posrec(RK_PROCEDURE, kw.pos, semi.pos, r);
        p_.table.open_level();
        push(3);
        proc->params = opt_fpar();
        if (accept(K_RETURNS)) {
            type_name();
            expect(';');
        }
        if (accept(T_OPEN_BODY)) expect(T_CLOSE_BODY);
        expect(K_ENDPROCEDURE);
        expect(';');
        pop(3);
        proc->records = close_scope();
        return r;
    }

    // ---- states ------------------------------------------------------------
    struct StateFrame {
        StateObj* state;
        Ident* ident;
        int pending;  // items read so far
    };

    // A state with its nested states; the nesting keeps its own stack.
    Ident* state_decl() {
        std::vector<StateFrame> open;
        open.push_back(state_header());
        for (;;) {
            if (at(K_STATE)) {
                open.push_back(state_header());
                continue;
            }
            StateFrame& f = open.back();
            if (at(K_ENDSTATE)) {
                take();
                expect(';');
                pop(f.pending + 2);
                Ident* done = f.ident;
                open.pop_back();
                if (open.empty()) return done;
                StateItem item;
                item.state = done;
                open.back().state->items.push_back(item);
                push();
                ++open.back().pending;
                continue;
            }
            StateItem item;
            item.transition = transition();
            f.state->items.push_back(item);
            push();
            ++f.pending;
        }
    }

    StateFrame state_header() {
        Token kw = expect(K_STATE);
        Token name = expect(T_NAME);
        push(2);
        while (accept('#')) {
            switch (take().code) {
            case K_START: start_flag_ = true; break;
            case K_STABLE: stability_ = 1; break;
            case K_UNSTABLE: stability_ = 0; break;
            default: throw SyntaxError{};
            }
        }
        bool start = start_flag_;
        std::uint8_t stability = stability_;
        start_flag_ = false;
        stability_ = 2;
        Token semi = expect(';');
        StateObj* s = p_.make<StateObj>();
        if (accept(K_TPC)) s->tpc = clock_constraint();
        if (accept(K_SAVE)) {
            s->save = signal_names();
            s->has_save = true;
        }
        Ident* r = define(name, CL_STATE, s);
        s->ident = r;
        if (start) {
            if (start_state_) report(ERROR, "process has multiple start states defined");
            start_state_ = r;
        }
        s->stability = stability;
        s->number = ++state_count_;
        s->ref = new_posrec(RK_TEXT, kw.pos, semi.pos, r);
        return StateFrame{s, r, 0};
    }

    // ---- transitions -----------------------------------------------------------
    Transition* transition() {
        Transition* t = &p_.transitions.emplace_back();
        push(4);
        if (accept(K_DEADLINE)) {
            switch (take().code) {
            case K_EAGER: t->deadline = DL_EAGER; break;
            case K_DELAYABLE: t->deadline = DL_DELAYABLE; break;
            case K_LAZY: t->deadline = DL_LAZY; break;
            default: throw SyntaxError{};
            }
            expect(';');
        }
        if (at(K_PROVIDED)) {
            Token kw = take();
            Expr* e = expression();
            Token semi = expect(';');
            if (e->type != ET_BOOLEAN && e->type != ET_ANY)
                report(ERROR, "boolean expression expected at provided clause");
            t->provided = e;
            t->provided_ref = new_posrec(RK_TEXT, kw.pos, semi.pos);
        }
        if (accept(K_WHEN)) {
            t->when = clock_constraint();
            expect(';');
        }
        if (at(K_INPUT)) {
            Token kw = take();
            t->input = input_signal();
            Token semi = expect(';');
            t->input_ref = new_posrec(RK_TEXT, kw.pos, semi.pos);
        }
        statement_list(t->statements);
        // terminator
        Token kw = peek();
        Stmt* s = p_.new_stmt();
        if (kw.code == K_NEXTSTATE) {
            take();
            s->kind = SK_NEXTSTATE;
            if (at('-')) {
                take();
            } else {
                Token target = expect(T_NAME);
                s->target = declare(target, CL_STATE);
            }
        } else if (kw.code == K_STOP) {
            take();
            s->kind = SK_STOP;
        } else {
            throw SyntaxError{};
        }
        Token semi = expect(';');
        s->ref = new_posrec(RK_STATEMENT, kw.pos, semi.pos);
        t->statements.push_back(s);
        pop(4);
        return t;
    }

    Input* input_signal() {
        Token name = expect(T_NAME);
        Ident* signal = use(name, CL_SIGNAL);
        Input* in = &p_.inputs.emplace_back();
        in->signal = signal;
        expect('(');
        std::vector<Token> names;  // the identifier arguments, for their messages
        if (!at(')')) {
            comma_list([&] {
                InputArg arg;
                Token t = take();
                switch (t.code) {
                case T_NUMBER: arg.kind = 0; arg.value = t.number; break;
                case K_TRUE: arg.kind = 0; arg.value = V_TRUE; break;
                case K_FALSE: arg.kind = 0; arg.value = V_FALSE; break;
                case K_NIL: arg.kind = 0; arg.value = V_NIL; break;
                case '-': {
                    Token num = expect(T_NUMBER);
                    arg.kind = 0;
                    arg.value = -num.number;
                    if (arg.value < V_MIN) {
                        report(ERROR, "constant too low - are youtrying to break me?");
                        arg.value = V_MIN;
                    }
                    break;
                }
                case T_NAME: {
                    Ident* v = use(t, CL_VAR);
                    arg.kind = v ? 1 : 2;
                    arg.ident = v;
                    break;
                }
                default: throw SyntaxError{};
                }
                in->args.push_back(arg);
            });
        }
        expect(')');
        if (!signal) return in;
        const SignalObj* s = signal->as<SignalObj>();
        if (s->params.size() != in->args.size()) report(ERROR, "incorrect number of arguments to signal");
        std::size_t both = std::min(s->params.size(), in->args.size());
        for (std::size_t i = 0; i < both; ++i) {
            const Type* pt = s->params[i];
            const InputArg& a = in->args[i];
            if (!pt || pt->unknown) continue;
            if (a.kind == 0) {
                if (a.value < pt->lo || a.value > pt->hi) report(ERROR, "constant out of declared range");
            } else if (a.kind == 1) {
                const Type* vt = a.ident->var_type();
                if (!vt || vt->unknown) continue;
                bool vp = vt->marker == Type::PID, pp = pt->marker == Type::PID;
                if (vp && pp) continue;
                bool fits = false;
                if (!vp && !pp) {
                    if (!vt->limited() || !pt->limited()) fits = true;  // reported as unsupported already
                    else fits = std::includes(pt->values.begin(), pt->values.end(), vt->values.begin(),
                                              vt->values.end());
                }
                if (!fits) report(ERROR, "argument variable is not a subset of the required type");
            }
        }
        return in;
    }

    // ---- statements ----------------------------------------------------------
    bool statement_start(int code) {
        switch (code) {
        case K_IF: case K_WHILE: case K_SKIP: case K_INFORMAL: case K_SET: case K_RESET: case K_CALL:
        case K_TASK: case K_OUTPUT: case K_FORK: case K_KILL: case T_NAME:
            return true;
        default:
            return false;
        }
    }

    // statements: the list of a transition, with the bodies of if and while
    // on an explicit stack.
    void statement_list(std::vector<Stmt*>& top) {
        struct Frame {
            Stmt* owner;  // null for the transition's own list
            std::vector<Stmt*>* list;
            Token first;
            int pending;
        };
        std::vector<Frame> open;
        open.push_back({nullptr, &top, Token(), 0});
        for (;;) {
            Frame& f = open.back();
            int code = peek().code;
            if (code == K_IF || code == K_WHILE) {
                Token kw = take();
                Expr* cond = expression();
                expect(code == K_IF ? K_THEN : K_DO);
                if (cond->type != ET_BOOLEAN && cond->type != ET_ANY)
                    report(ERROR, "expression of type boolean expected");
                Stmt* s = p_.new_stmt();
                s->kind = code == K_IF ? SK_IF : SK_WHILE;
                s->expr = cond;
                push(3);
                open.push_back({s, &s->then_list, kw, 0});
                continue;
            }
            if (statement_start(code)) {
                f.list->push_back(simple_statement());
                push();
                ++f.pending;
                continue;
            }
            if (!f.owner) break;
            Stmt* s = f.owner;
            if (s->kind == SK_IF && code == K_ELSE && !s->has_else) {
                take();
                pop(f.pending);
                f.pending = 0;
                s->has_else = true;
                f.list = &s->else_list;
                push();
                continue;
            }
            Token end = expect(s->kind == SK_IF ? K_ENDIF : K_ENDWHILE);
            s->ref = new_posrec(RK_STATEMENT, f.first.pos, end.pos);
            pop(f.pending + 3 + (s->has_else ? 1 : 0));
            open.pop_back();
            open.back().list->push_back(s);
            push();
            ++open.back().pending;
        }
        pop(open.back().pending);
    }

    // The first keyword of a statement; "x := call" and "x := fork" begin at
    // the keyword.
    Stmt* simple_statement() {
        Token first = take();
        Stmt* s = p_.new_stmt();
        auto finish = [&](const Token& from) {
            Token semi = expect(';');
            s->ref = new_posrec(RK_STATEMENT, from.pos, semi.pos);
            return s;
        };
        switch (first.code) {
        case K_SKIP:
            s->kind = SK_TEXT;
            s->text = "skip";
            return finish(first);
        case K_INFORMAL: {
            Token text = expect(T_STRING);
            s->kind = SK_TEXT;
            s->text = text.text;
            return finish(first);
        }
        case K_SET: {
            Token name = expect(T_NAME);
            expect(T_ASSIGN);
            expression();
            Ident* x = use(name, CL_VAR);
            clock_variable(x);
            report(WARNING, "set statement not supported; will ignore");
            s->kind = SK_TEXT;
            s->text = "set " + name.text;
            return finish(first);
        }
        case K_RESET: {
            Token name = expect(T_NAME);
            Ident* x = use(name, CL_VAR);
            clock_variable(x);
            report(WARNING, "reset statement not supported; will ignore");
            s->kind = SK_TEXT;
            s->text = "reset " + name.text;
            return finish(first);
        }
        case K_CALL: return call_statement(first, s);
        case K_TASK: {
            Token name = expect(T_NAME);
            expect(T_ASSIGN);
            Expr* e = expression();
            Ident* x = use(name, CL_VAR);
            s->kind = SK_TASK;
            s->target = x;
            s->expr = e;
            if (x && !fits(e, x->var_type())) report(ERROR, "type mismatch in expression");
            return finish(first);
        }
        case K_OUTPUT: return output_statement(first, s);
        case K_FORK: return fork_statement(first, s, nullptr);
        case K_KILL: {
            Expr* e = expression();
            if (e->type != ET_PID && e->type != ET_ANY) report(ERROR, "expression of type pid expected");
            s->kind = SK_KILL;
            s->expr = e;
            return finish(first);
        }
        case T_NAME: {
            expect(T_ASSIGN);
            if (at(K_CALL)) return call_statement(take(), s);
            if (!at(K_FORK)) throw SyntaxError{};
            Ident* x = use(first, CL_VAR);
            if (x && (!x->var_type() || x->var_type()->marker != Type::PID)) {
                if (!x->var_type() || !x->var_type()->unknown) report(ERROR, "pid variable expected");
                x = nullptr;
            }
            return fork_statement(take(), s, x);
        }
        default: throw SyntaxError{};
        }
    }

    void clock_variable(Ident* x) {
        const Type* t = x ? x->var_type() : nullptr;
        if (x && (!t || (!t->unknown && t->marker != Type::CLOCK))) report(ERROR, "clock variable expected");
    }

    Stmt* call_statement(const Token& kw, Stmt* s) {
        Token name = expect(T_NAME);
        expect('(');
        expression_list();
        expect(')');
        Token semi = expect(';');
        use(name, CL_PROCEDURE);
        report(WARNING, "call statement not supported; will ignore");
        s->kind = SK_TEXT;
        s->text = "call " + name.text;
        s->ref = new_posrec(RK_STATEMENT, kw.pos, semi.pos);
        return s;
    }

    std::vector<Expr*> expression_list() {
        std::vector<Expr*> list;
        comma_list([&] { list.push_back(expression()); });
        return list;
    }

    Stmt* output_statement(const Token& kw, Stmt* s) {
        Token name = expect(T_NAME);
        Ident* signal = use(name, CL_SIGNAL);
        expect('(');
        std::vector<Expr*> args;
        if (!at(')')) args = expression_list();
        expect(')');
        s->kind = SK_OUTPUT;
        s->target = signal;
        s->args = args;
        if (signal) {
            const SignalObj* sig = signal->as<SignalObj>();
            if (sig->params.size() != args.size()) report(ERROR, "incorrect number of arguments to signal");
            std::size_t both = std::min(sig->params.size(), args.size());
            for (std::size_t i = 0; i < both; ++i)
                if (sig->params[i] && !fits(args[i], sig->params[i]))
                    report(ERROR, "type mismatch in expression");
        }
        if (accept(K_VIA)) s->via = pid_expression();
        if (accept(K_TO)) s->to = pid_expression();
        p_.outputs.push_back(s);
        Token semi = expect(';');
        s->ref = new_posrec(RK_STATEMENT, kw.pos, semi.pos);
        return s;
    }

    Expr* pid_expression() {
        Expr* e = expression();
        if (e->type != ET_PID && e->type != ET_ANY) report(ERROR, "expression of type pid expected");
        return e;
    }

    Stmt* fork_statement(const Token& kw, Stmt* s, Ident* result) {
        Token name = expect(T_NAME);
        s->target = result;
        if (at('(')) {
            s->kind = SK_FORK_PROCESS;
            s->name = cast_record(name);
            casts_.push_back({name.text, &s->name});
            take();
            s->args = expression_list();
            expect(')');
        } else {
            s->kind = SK_FORK_ROUTE;
            s->name = use(name, CL_ROUTE);
        }
        Token semi = expect(';');
        s->ref = new_posrec(RK_STATEMENT, kw.pos, semi.pos);
        return s;
    }

    // The type fit of task and output arguments.
    static bool fits(const Expr* e, const Type* t) {
        if (!t || t->unknown || e->type == ET_ANY) return true;
        switch (e->type) {
        case ET_NUMERIC: return t->marker != Type::PID && !t->is_boolean();
        case ET_BOOLEAN: return t->is_boolean();
        case ET_PID: return t->marker == Type::PID;
        default: return false;
        }
    }

    // ---- clock constraints -------------------------------------------------
    Expr* clock_constraint() {
        Token x = expect(T_NAME);
        Expr* node = p_.new_expr();
        node->type = ET_BOOLEAN;
        Ident* xr = use(x, CL_VAR);
        clock_variable(xr);
        Expr* left = nullptr;
        if (accept('-')) {
            Token y = expect(T_NAME);
            Ident* yr = use(y, CL_VAR);
            clock_variable(yr);
            left = p_.new_expr();
            left->kind = EK_SUB;
            left->type = ET_CLOCK;
            left->ident = xr;
            left->ident2 = yr;
        }
        switch (take().code) {
        case '=': node->kind = EK_CLOCK_EQ; break;
        case T_NE: node->kind = EK_CLOCK_NE; break;
        case T_LE: node->kind = EK_CLOCK_LE; break;
        case T_GE: node->kind = EK_CLOCK_GE; break;
        case '<': node->kind = EK_CLOCK_LT; break;
        case '>': node->kind = EK_CLOCK_GT; break;
        default: throw SyntaxError{};
        }
        push(3);
        Expr* bound = expression();
        pop(3);
        if (bound->type != ET_NUMERIC && bound->type != ET_ANY) report(ERROR, "numerical expression expected");
        node->ident = left ? nullptr : xr;
        node->left = left;
        node->right = bound;
        return node;
    }

    // ---- expressions -------------------------------------------------------
    std::int32_t constant_expression() {
        Expr* e = expression();
        if (!e->constant) {
            if (e->type != ET_ANY) report(ERROR, "expression is not constant");
            return 0;
        }
        return eval_constant(e);
    }

    static int binary_level(int code) {
        switch (code) {
        case T_IMPLIES: return 1;
        case K_OR: case K_XOR: return 2;
        case K_AND: return 3;
        case '=': case T_NE: case '>': case T_GE: case '<': case T_LE: return 4;
        case '+': case '-': return 5;
        case '*': case '/': case K_MOD: return 6;
        default: return 0;
        }
    }

    struct Op {
        enum Form { BINARY, PREFIX, PAREN };
        Op(Form f, int c, int l) : form(f), code(c), level(l) {}
        Form form;
        int code;   // the token of a binary or prefix operator
        int level;  // binding: prefix - and not 7, {P} 0
        Ident* cast = nullptr;
        bool integer = false;  // {integer}
        std::string cast_name;
    };

    // Builds the node of one operator from the operand stack.
    void reduce(std::vector<Expr*>& vals, const Op& op) {
        if (op.form == Op::PREFIX) {
            Expr* a = vals.back();
            vals.pop_back();
            Expr* e;
            if (op.code == '-') {
                e = new_expression(p_, EK_NEG, a, nullptr, ET_NUMERIC, ET_NUMERIC);
            } else if (op.code == K_NOT) {
                e = new_expression(p_, EK_NOT, a, nullptr, ET_BOOLEAN, ET_BOOLEAN);
            } else if (op.integer) {
                e = new_expression(p_, EK_PID_INDEX, a, nullptr, ET_PID, ET_NUMERIC);
                e->constant = false;
            } else {
                e = new_expression(p_, EK_PID_OF, a, nullptr, ET_NUMERIC, ET_PID);
                e->constant = false;
                e->ident = op.cast;
                casts_.push_back({op.cast_name, &e->ident});
            }
            vals.push_back(e);
            pop(op.code == '{' ? 3 : 1);
            return;
        }
        Expr* b = vals.back();
        vals.pop_back();
        Expr* a = vals.back();
        vals.pop_back();
        std::uint8_t kind = 0, expected = ET_ANY, result = ET_BOOLEAN;
        switch (op.code) {
        case T_IMPLIES: kind = EK_IMPLIES; expected = ET_BOOLEAN; break;
        case K_OR: kind = EK_OR; expected = ET_BOOLEAN; break;
        case K_XOR: kind = EK_XOR; expected = ET_BOOLEAN; break;
        case K_AND: kind = EK_AND; expected = ET_BOOLEAN; break;
        case '=': kind = EK_EQ; break;
        case T_NE: kind = EK_NE; break;
        case '>': kind = EK_GT; expected = ET_NUMERIC; break;
        case T_GE: kind = EK_GE; expected = ET_NUMERIC; break;
        case '<': kind = EK_LT; expected = ET_NUMERIC; break;
        case T_LE: kind = EK_LE; expected = ET_NUMERIC; break;
        case '+': kind = EK_ADD; expected = result = ET_NUMERIC; break;
        case '-': kind = EK_SUB; expected = result = ET_NUMERIC; break;
        case '*': kind = EK_MUL; expected = result = ET_NUMERIC; break;
        case '/': kind = EK_DIV; expected = result = ET_NUMERIC; break;
        case K_MOD: kind = EK_MOD; expected = result = ET_NUMERIC; break;
        default: throw SyntaxError{};
        }
        vals.push_back(new_expression(p_, kind, a, b, expected, result));
        pop(2);
    }

    // An expression by operator precedence, with its own operand and
    // operator stacks.  A "{P}" prefix binds everything to its right.
    Expr* expression() {
        std::vector<Expr*> vals;
        std::vector<Op> ops;
        int open_parens = 0;
        int base = depth_;
        for (;;) {
            // prefixes and opening parentheses
            for (;;) {
                int code = peek().code;
                if (code == '-' || code == K_NOT) {
                    take();
                    ops.emplace_back(Op::PREFIX, code, 7);
                    push();
                } else if (code == '(') {
                    take();
                    ops.emplace_back(Op::PAREN, '(', 0);
                    ++open_parens;
                    push();
                } else if (code == '{') {
                    take();
                    Token name = expect(T_NAME);
                    Op op(Op::PREFIX, '{', 0);
                    if (name.text == "integer") {
                        op.integer = true;
                    } else {
                        op.cast = cast_record(name);
                        op.cast_name = name.text;
                    }
                    expect('}');
                    ops.push_back(op);
                    push(3);
                } else {
                    break;
                }
            }
            // the operand
            Token t = take();
            switch (t.code) {
            case T_NAME: vals.push_back(new_variable(p_, use(t, CL_VAR))); break;
            case T_NUMBER: vals.push_back(new_literal(p_, t.number)); break;
            case K_TRUE: vals.push_back(new_literal(p_, V_TRUE)); break;
            case K_FALSE: vals.push_back(new_literal(p_, V_FALSE)); break;
            case K_NIL: vals.push_back(new_literal(p_, V_NIL)); break;
            default: throw SyntaxError{};
            }
            push();
            // closing parentheses and the next binary operator
            for (;;) {
                int code = peek().code;
                if (int level = binary_level(code)) {
                    while (!ops.empty() && ops.back().form != Op::PAREN && ops.back().level >= level) {
                        if (ops.back().form == Op::BINARY && level == 4 && ops.back().level == 4)
                            throw SyntaxError{};  // the comparisons do not associate
                        reduce(vals, ops.back());
                        ops.pop_back();
                    }
                    take();
                    ops.emplace_back(Op::BINARY, code, level);
                    push();
                    break;
                }
                if (code == ')' && open_parens > 0) {
                    while (ops.back().form != Op::PAREN) {
                        reduce(vals, ops.back());
                        ops.pop_back();
                    }
                    ops.pop_back();
                    --open_parens;
                    take();
                    Expr* inner = vals.back();
                    vals.pop_back();
                    vals.push_back(new_expression(p_, EK_PAREN, inner, nullptr, ET_ANY, ET_ANY));
                    pop();
                    continue;
                }
                if (open_parens > 0) throw SyntaxError{};
                while (!ops.empty()) {
                    reduce(vals, ops.back());
                    ops.pop_back();
                }
                depth_ = base;
                return vals.back();
            }
        }
    }
};

}  // namespace

ParseResult parse_if(const std::string& text, Program& program) {
    program.table.enter("-", CL_ROOT);
    Parser parser(text, program);
    return parser.run();
}

}  // namespace statecast
