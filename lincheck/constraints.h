// Constraints over the 0/1 event variables of the store: sparse linear
// functions, inequations and equations with bound propagation and undo, and
// systems of constraints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace vorga {

// One monomial: a 0-based index (event, or place in the input parsers) and
// its coefficient.  Coefficients and every sum over them are 64-bit.
struct Term {
    std::uint32_t index;
    std::int64_t coef;
};

// An append-only list of monomials, merged (equal indices summed, zero
// coefficients dropped) when it reaches its merge limit or on request.
class sparse_list {
public:
    std::vector<Term> items;
    std::size_t merge_limit = 100000;

    void append(std::uint32_t index, std::int64_t coef);
    void sort_merge();
    std::size_t count() const { return items.size(); }
};

// Propagation results.
enum : int { PROP_CONTRADICTION = 0, PROP_CONSISTENT = 1, PROP_FIXED = 2, PROP_SATISFIED = 4 };

class lin_func {
public:
    sparse_list pos, neg;  // positive and negative coefficients
    std::int64_t last = 0;  // value of the last evaluation

    void add(std::uint32_t index, std::int64_t coef);
    // Sum of coefficient times value over the events (free events count 0).
    std::int64_t evaluate();
    struct Bounds {
        std::int64_t N = 0;  // coefficients of free events of the negative part
        std::int64_t P = 0;  // coefficients of free events of the positive part
        std::int64_t F = 0;  // coefficient times value over fixed events
    };
    Bounds bounds() const;
    // Sums all occurrences of each index, then keeps it in the part of the sum's sign.
    void normalise();
    std::size_t size() const { return pos.count() + neg.count(); }
    void print(std::FILE* out) const;
};

class constraint {
public:
    std::uint32_t stamp = 0;  // 0 while open; else the level at which it became true for good
    virtual ~constraint() = default;
    virtual void undo(std::uint32_t level) {
        if (stamp >= level) stamp = 0;
    }
    virtual std::size_t size() const = 0;
    virtual void normalise() = 0;
    virtual bool holds() = 0;
    virtual int propagate() = 0;
    // A set bit means: do not branch on this event.
    virtual void branching_mask(std::vector<std::uint8_t>& bits);
    virtual void print(std::FILE* out) const = 0;
    // The short-circuit form of holds used by the plain search.
    virtual bool holds_active() { return holds(); }

protected:
    void close_now();  // stamp with the store's current level
};

class lin_constr : public constraint {
public:
    lin_func func;
    std::int64_t bound = 0;
    std::size_t size() const override { return func.size(); }
    void normalise() override { func.normalise(); }
    virtual bool is_inequality() const = 0;
};

class inequat : public lin_constr {
public:
    bool holds() override { return func.evaluate() <= bound; }
    int propagate() override;
    void print(std::FILE* out) const override;
    bool is_inequality() const override { return true; }
};

class equat : public lin_constr {
public:
    bool holds() override { return func.evaluate() == bound; }
    int propagate() override;
    void print(std::FILE* out) const override;
    bool is_inequality() const override { return false; }
};

class constr_system : public constraint {
public:
    std::vector<std::shared_ptr<constraint>> members;
    std::size_t first_open = 0;

    void add(std::shared_ptr<constraint> c) { members.push_back(std::move(c)); }
    void clear_members();
    void undo(std::uint32_t level) override;
    std::size_t size() const override;
    void normalise() override;
    bool holds() override;
    int propagate() override;
    void print(std::FILE* out) const override;
    bool holds_active() override;
};

// A system whose members are all linear constraints; its branching mask
// scores events by how far the open members are from their bounds.
class lin_constr_system : public constr_system {
public:
    std::vector<std::int64_t> score;
    void branching_mask(std::vector<std::uint8_t>& bits) override;
};

// Bit helpers of the branching masks (one bit per 0-based event).
inline bool mask_bit(const std::vector<std::uint8_t>& bits, std::uint32_t e) {
    return (bits[e >> 3] >> (e & 7)) & 1u;
}
inline void set_mask_bit(std::vector<std::uint8_t>& bits, std::uint32_t e) {
    bits[e >> 3] = static_cast<std::uint8_t>(bits[e >> 3] | (1u << (e & 7)));
}
inline void clear_mask_bit(std::vector<std::uint8_t>& bits, std::uint32_t e) {
    bits[e >> 3] = static_cast<std::uint8_t>(bits[e >> 3] & ~(1u << (e & 7)));
}

}  // namespace vorga
