// The ZBDD operations.  Each is a worker that expands one call at a time on
// an explicit stack (ZbddManager::run): `expand` either answers the call at
// once, or describes the node to make from the results of up to two child
// calls.  The firing workers read the current transition vector and its
// auxiliary number from the manager; the entries set them.
#include <utility>

#include "zbdd.h"

namespace zbdd {

namespace {

using Call = ZbddManager::Call;
using Frame = ZbddManager::Frame;

inline void both(Frame& f, std::uint32_t var, Call lo, Call hi) {
    f.var = var;
    f.loCall = lo;
    f.hiCall = hi;
    f.calls = ZbddManager::kLoCall | ZbddManager::kHiCall;
}
inline void loCall(Frame& f, std::uint32_t var, Call lo, std::uint32_t hiValue) {
    f.var = var;
    f.loCall = lo;
    f.hi = hiValue;
    f.calls = ZbddManager::kLoCall;
}
inline void hiCall(Frame& f, std::uint32_t var, std::uint32_t loValue, Call hi) {
    f.var = var;
    f.lo = loValue;
    f.hiCall = hi;
    f.calls = ZbddManager::kHiCall;
}
// The call's result is the child's result.
inline void pass(Frame& f, Call c) {
    f.var = ZbddManager::kPass;
    f.loCall = c;
    f.calls = ZbddManager::kLoCall;
}

}  // namespace

template <class Op>
std::uint32_t ZbddManager::run(Call c) {
    stack_.clear();
    std::uint32_t r = 0;
    for (;;) {
        Frame f;
        f.slot = kNoSlot;
        f.lo = f.hi = 0;  // results not known yet (a collection reads them)
        if (!Op::expand(*this, c, f, r)) {
            if (f.calls & kHiCall) {
                f.waiting = kHiCall;
                c = f.hiCall;
            } else {
                f.waiting = kLoCall;
                c = f.loCall;
            }
            stack_.push_back(f);
            continue;
        }
        // Hand r up until a frame still needs its lo child.
        for (;;) {
            if (stack_.empty()) return r;
            Frame& t = stack_.back();
            if (t.waiting == kHiCall) {
                t.hi = r;
                if (t.calls & kLoCall) {
                    t.waiting = kLoCall;
                    c = t.loCall;
                    break;
                }
            } else {
                t.lo = r;
            }
            r = t.var == kPass ? t.lo : getNode(t.var, t.lo, t.hi);
            if (t.slot != kNoSlot) {
                CacheEntry& e = (Op::kFireCache ? fire_ : binOp_)[t.slot];
                e = CacheEntry{t.key.p, t.key.q, t.key.t, r};
            }
            stack_.pop_back();
        }
    }
}

// Looks the key up in the fire cache; on a miss prepares the frame to store.
#define ZBDD_FIRE_LOOKUP(m, P, Q, AUXKEY, HASHQ)                                       \
    do {                                                                               \
        std::uint32_t slot_ = fireHash(P, HASHQ, AUXKEY, (m).kFire_);                  \
        const ZbddManager::CacheEntry& e_ = (m).fire_[slot_];                          \
        if (e_.a == (P) && e_.b == (Q) && e_.c == (AUXKEY)) {                          \
            ++(m).stats_.fireHits;                                                     \
            r = e_.result;                                                             \
            return true;                                                               \
        }                                                                              \
        ++(m).stats_.fireMisses;                                                       \
        f.slot = slot_;                                                                \
        f.key = Call{P, Q, AUXKEY};                                                    \
    } while (0)

#define ZBDD_BINOP_LOOKUP(m, TAG, A, B)                                                \
    do {                                                                               \
        std::uint32_t slot_ = binOpHash(TAG, A, B, (m).kBinOp_);                       \
        const ZbddManager::CacheEntry& e_ = (m).binOp_[slot_];                         \
        if (e_.a == (A) && e_.b == (B) && e_.c == (TAG)) {                             \
            ++(m).stats_.binOpHits;                                                    \
            r = e_.result;                                                             \
            return true;                                                               \
        }                                                                              \
        ++(m).stats_.binOpMisses;                                                      \
        f.slot = slot_;                                                                \
        f.key = Call{A, B, TAG};                                                       \
    } while (0)

// Q united with the successors of P; c.t is the position of the current
// pair in the transition vector.
struct FireUnionOp {
    static constexpr bool kFireCache = true;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t* tv = m.tv_;
        const std::uint32_t n = m.nVars_;
        for (;;) {
            std::uint32_t P = c.p, Q = c.q;
            if (P == 0) {
                r = Q;
                return true;
            }
            const std::uint32_t v = tv[c.t];
            if (v == n) {  // vector used up: a plain union
                if (Q == 0 || Q == P) {
                    r = P;
                    return true;
                }
                if (Q < P) std::swap(P, Q);
            }
            const std::uint32_t vp = m.var(P), vq = m.var(Q);
            if (vp < v) {
                ZBDD_FIRE_LOOKUP(m, P, Q, m.aux_, Q);
                if (vp == vq)
                    both(f, vp, {m.lo(P), m.lo(Q), c.t}, {m.hi(P), m.hi(Q), c.t});
                else if (vp < vq)
                    both(f, vp, {m.lo(P), Q, c.t}, {m.hi(P), 0, c.t});
                else
                    loCall(f, vq, {P, m.lo(Q), c.t}, m.hi(Q));
                return false;
            }
            if (vq < v) {  // Q's top variable comes first (also P = {empty} at the end)
                loCall(f, vq, {P, m.lo(Q), c.t}, m.hi(Q));
                return false;
            }
            std::uint32_t code = tv[c.t + 1];
            if (code == kInhibitProduce) code = kProduce;
            const std::uint32_t nt = c.t + 2;
            if (vp == v) {
                if (vq == v) {
                    switch (code) {
                    case kTest: hiCall(f, v, m.lo(Q), {m.hi(P), m.hi(Q), nt}); return false;
                    case kConsume: loCall(f, v, {m.hi(P), m.lo(Q), nt}, m.hi(Q)); return false;
                    case kProduce: hiCall(f, v, m.lo(Q), {m.lo(P), m.hi(Q), nt}); return false;
                    default: c = {m.lo(P), Q, nt}; continue;  // inhibitor
                    }
                }
                switch (code) {  // vq > v
                case kTest: hiCall(f, v, Q, {m.hi(P), 0, nt}); return false;
                case kProduce: hiCall(f, v, Q, {m.lo(P), 0, nt}); return false;
                case kConsume: c = {m.hi(P), Q, nt}; continue;
                default: c = {m.lo(P), Q, nt}; continue;
                }
            }
            // vp > v: no marking of P holds the place.
            if (code == kInhibit) {
                c.t = nt;
                continue;
            }
            if (code != kProduce) {
                r = Q;
                return true;
            }
            if (vq > v)
                hiCall(f, v, Q, {P, 0, nt});
            else
                hiCall(f, v, m.lo(Q), {P, m.hi(Q), nt});
            return false;
        }
    }
};

struct ImageOp {
    static constexpr bool kFireCache = true;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t* tv = m.tv_;
        for (;;) {
            const std::uint32_t P = c.p;
            if (P == 0) {
                r = 0;
                return true;
            }
            const std::uint32_t v = tv[c.t];
            if (v == m.nVars_) {
                r = P;
                return true;
            }
            const std::uint32_t vp = m.var(P);
            if (vp < v) {
                ZBDD_FIRE_LOOKUP(m, P, 0u, m.aux_, P);
                both(f, vp, {m.lo(P), 0, c.t}, {m.hi(P), 0, c.t});
                return false;
            }
            std::uint32_t code = tv[c.t + 1];
            if (code == kInhibitProduce) code = kProduce;
            const std::uint32_t nt = c.t + 2;
            if (vp == v) {
                switch (code) {
                case kTest: hiCall(f, v, 0, {m.hi(P), 0, nt}); return false;
                case kProduce: hiCall(f, v, 0, {m.lo(P), 0, nt}); return false;
                case kConsume: c = {m.hi(P), 0, nt}; continue;
                default: c = {m.lo(P), 0, nt}; continue;
                }
            }
            if (code == kInhibit) {
                c.t = nt;
                continue;
            }
            if (code != kProduce) {
                r = 0;
                return true;
            }
            hiCall(f, v, 0, {P, 0, nt});
            return false;
        }
    }
};

struct PreImageOp {
    static constexpr bool kFireCache = true;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t* tv = m.tv_;
        for (;;) {
            const std::uint32_t P = c.p;
            if (P == 0) {
                r = 0;
                return true;
            }
            const std::uint32_t v = tv[c.t];
            if (v == m.nVars_) {
                r = P;
                return true;
            }
            const std::uint32_t vp = m.var(P);
            if (vp < v) {
                const std::uint32_t auxKey = ~m.aux_;
                ZBDD_FIRE_LOOKUP(m, P, 0u, auxKey, P);
                both(f, vp, {m.lo(P), 0, c.t}, {m.hi(P), 0, c.t});
                return false;
            }
            std::uint32_t code = tv[c.t + 1];
            if (code == kInhibitProduce) code = kProduce;
            const std::uint32_t nt = c.t + 2;
            if (vp == v) {
                switch (code) {
                case kTest: hiCall(f, v, 0, {m.hi(P), 0, nt}); return false;
                case kConsume: hiCall(f, v, 0, {m.lo(P), 0, nt}); return false;
                case kProduce: c = {m.hi(P), 0, nt}; continue;
                default: c = {m.lo(P), 0, nt}; continue;
                }
            }
            if (code == kInhibit) {
                c.t = nt;
                continue;
            }
            if (code != kConsume) {
                r = 0;
                return true;
            }
            hiCall(f, v, 0, {P, 0, nt});
            return false;
        }
    }
};

// One-variable operations: c.t holds the variable.
struct Subset0Op {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t P = c.p, v = c.t, vp = m.var(P);
        if (vp > v) {
            r = P;
            return true;
        }
        if (vp == v) {
            r = m.lo(P);
            return true;
        }
        ZBDD_BINOP_LOOKUP(m, 1u, P, v);
        both(f, vp, {m.lo(P), 0, v}, {m.hi(P), 0, v});
        return false;
    }
};

struct OnsetOp {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t P = c.p, v = c.t, vp = m.var(P);
        if (vp > v) {
            r = 0;
            return true;
        }
        if (vp == v) {
            r = m.getNode(v, 0, m.hi(P));
            return true;
        }
        ZBDD_BINOP_LOOKUP(m, 2u, P, v);
        both(f, vp, {m.lo(P), 0, v}, {m.hi(P), 0, v});
        return false;
    }
};

struct ChangeOp {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t P = c.p, v = c.t, vp = m.var(P);
        if (vp > v) {
            r = m.getNode(v, 0, P);
            return true;
        }
        if (vp == v) {
            r = m.getNode(v, m.hi(P), m.lo(P));
            return true;
        }
        ZBDD_BINOP_LOOKUP(m, 3u, P, v);
        both(f, vp, {m.lo(P), 0, v}, {m.hi(P), 0, v});
        return false;
    }
};

struct UniteOp {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        std::uint32_t P = c.p, Q = c.q;
        if (P == 0 || P == Q) {
            r = Q;
            return true;
        }
        if (Q == 0) {
            r = P;
            return true;
        }
        if (Q < P) std::swap(P, Q);
        ZBDD_BINOP_LOOKUP(m, 4u, P, Q);
        const std::uint32_t vp = m.var(P), vq = m.var(Q);
        if (vp < vq)
            loCall(f, vp, {m.lo(P), Q, 0}, m.hi(P));
        else if (vp == vq)
            both(f, vp, {m.lo(P), m.lo(Q), 0}, {m.hi(P), m.hi(Q), 0});
        else
            loCall(f, vq, {P, m.lo(Q), 0}, m.hi(Q));
        return false;
    }
};

struct IntersectOp {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        std::uint32_t P = c.p, Q = c.q;
        if (P == 0 || Q == 0) {
            r = 0;
            return true;
        }
        if (P == Q) {
            r = P;
            return true;
        }
        if (Q < P) std::swap(P, Q);
        ZBDD_BINOP_LOOKUP(m, 5u, P, Q);
        const std::uint32_t vp = m.var(P), vq = m.var(Q);
        if (vp < vq)
            pass(f, {m.lo(P), Q, 0});
        else if (vp == vq)
            both(f, vp, {m.lo(P), m.lo(Q), 0}, {m.hi(P), m.hi(Q), 0});
        else
            pass(f, {P, m.lo(Q), 0});
        return false;
    }
};

struct DifferenceOp {
    static constexpr bool kFireCache = false;
    static bool expand(ZbddManager& m, Call& c, Frame& f, std::uint32_t& r) {
        const std::uint32_t P = c.p, Q = c.q;
        if (P == 0 || P == Q) {
            r = 0;
            return true;
        }
        if (Q == 0) {
            r = P;
            return true;
        }
        ZBDD_BINOP_LOOKUP(m, 6u, P, Q);
        const std::uint32_t vp = m.var(P), vq = m.var(Q);
        if (vp < vq)
            loCall(f, vp, {m.lo(P), Q, 0}, m.hi(P));
        else if (vp == vq)
            both(f, vp, {m.lo(P), m.lo(Q), 0}, {m.hi(P), m.hi(Q), 0});
        else
            pass(f, {P, m.lo(Q), 0});
        return false;
    }
};

#undef ZBDD_FIRE_LOOKUP
#undef ZBDD_BINOP_LOOKUP

std::uint32_t ZbddManager::fireUnionRaw(std::uint32_t p, std::uint32_t q, const TransitionVector& tv,
                                        std::uint32_t aux) {
    tv_ = tv.data();
    aux_ = aux;
    return run<FireUnionOp>({p, q, 0});
}
std::uint32_t ZbddManager::imageRaw(std::uint32_t p, const TransitionVector& tv, std::uint32_t aux) {
    tv_ = tv.data();
    aux_ = aux;
    return run<ImageOp>({p, 0, 0});
}
std::uint32_t ZbddManager::preImageRaw(std::uint32_t p, const TransitionVector& tv, std::uint32_t aux) {
    tv_ = tv.data();
    aux_ = aux;
    return run<PreImageOp>({p, 0, 0});
}
std::uint32_t ZbddManager::subset0Raw(std::uint32_t p, std::uint32_t var) { return run<Subset0Op>({p, 0, var}); }
std::uint32_t ZbddManager::onsetRaw(std::uint32_t p, std::uint32_t var) { return run<OnsetOp>({p, 0, var}); }
std::uint32_t ZbddManager::changeRaw(std::uint32_t p, std::uint32_t var) { return run<ChangeOp>({p, 0, var}); }
std::uint32_t ZbddManager::uniteRaw(std::uint32_t p, std::uint32_t q) { return run<UniteOp>({p, q, 0}); }
std::uint32_t ZbddManager::intersectRaw(std::uint32_t p, std::uint32_t q) { return run<IntersectOp>({p, q, 0}); }
std::uint32_t ZbddManager::differenceRaw(std::uint32_t p, std::uint32_t q) { return run<DifferenceOp>({p, q, 0}); }

// ---- entries: handles in, handle out, one collection and retry ----

Zbdd fireUnion(const Zbdd& p, const Zbdd& q, const TransitionVector& tv, std::uint32_t aux) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.fireUnionRaw(p.node(), q.node(), tv, aux); }));
}
Zbdd image(const Zbdd& p, const TransitionVector& tv, std::uint32_t aux) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.imageRaw(p.node(), tv, aux); }));
}
Zbdd preImage(const Zbdd& p, const TransitionVector& tv, std::uint32_t aux) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.preImageRaw(p.node(), tv, aux); }));
}
Zbdd subset0(const Zbdd& p, std::uint32_t var) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.subset0Raw(p.node(), var); }));
}
Zbdd onset(const Zbdd& p, std::uint32_t var) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.onsetRaw(p.node(), var); }));
}
Zbdd change(const Zbdd& p, std::uint32_t var) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.changeRaw(p.node(), var); }));
}
Zbdd unite(const Zbdd& p, const Zbdd& q) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.uniteRaw(p.node(), q.node()); }));
}
Zbdd intersect(const Zbdd& p, const Zbdd& q) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.intersectRaw(p.node(), q.node()); }));
}
Zbdd difference(const Zbdd& p, const Zbdd& q) {
    ZbddManager& m = manager();
    return Zbdd::fromNode(m.guarded([&] { return m.differenceRaw(p.node(), q.node()); }));
}

}  // namespace zbdd
