// List: a singly linked list of values in insertion order; cosweep keeps the
// condition numbers of one place in it.
#pragma once

#include <cstdio>
#include <memory>
#include <new>

#include "cosweep_check.h"

namespace cosweep {

template <typename Type>
class List {
public:
    struct Cell {
        Type value;
        std::unique_ptr<Cell> next;
    };

    List() = default;
    ~List() { clear(); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    List(List&& other) noexcept { *this = std::move(other); }
    List& operator=(List&& other) noexcept {
        if (this != &other) {
            clear();
            head_ = std::move(other.head_);
            tail_ = other.tail_;
            count_ = other.count_;
            other.tail_ = nullptr;
            other.count_ = 0;
        }
        return *this;
    }

    void append(Type value) {
        Cell* new_elem = new (std::nothrow) Cell{value, nullptr};
        COSWEEP_CHECK(new_elem != nullptr, "new_elem != 0");
        if (tail_) {
            tail_->next.reset(new_elem);
        } else {
            head_.reset(new_elem);
        }
        tail_ = new_elem;
        ++count_;
    }

    bool is_empty() const { return !head_ && !tail_; }
    int count() const { return count_; }

    // The value i steps from the head (i <= 0 gives the head's value).
    Type element_at(int i) const {
        COSWEEP_CHECK(i < count_, "i < anzahl");
        const Cell* c = head_.get();
        for (int k = 0; k < i; ++k) c = c->next.get();
        return c->value;
    }

    void remove_last() {
        if (!head_) return;
        if (head_.get() == tail_) {
            head_.reset();
            tail_ = nullptr;
        } else {
            Cell* c = head_.get();
            while (c->next.get() != tail_) c = c->next.get();
            c->next.reset();
            tail_ = c;
        }
        --count_;
    }

    void clear() {
        // Cell by cell, so that long lists are not freed recursively.
        std::unique_ptr<Cell> rest = std::move(head_);
        while (rest) rest = std::move(rest->next);
        tail_ = nullptr;
        count_ = 0;
    }

    void print() const {
        std::printf("Liste:");
        for (const Cell* c = head_.get(); c; c = c->next.get()) std::printf("  %d", static_cast<int>(c->value));
        std::printf("\n");
    }

    // Walking the list without counting steps.
    const Cell* first() const { return head_.get(); }

private:
    std::unique_ptr<Cell> head_;
    Cell* tail_ = nullptr;
    int count_ = 0;
};

}  // namespace cosweep
