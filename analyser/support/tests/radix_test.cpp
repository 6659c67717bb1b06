// Radix blocks against a vector of slots.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <vector>

#include "alloc.h"
#include "radix.h"
#include "testutil.h"

using supporttest::RunChild;

namespace {

// Tools that must never see a null slot, as LstDc or DataCopy would crash.
int copies = 0;
std::vector<int> discardOrder;

void* StrictCopy(void* element) {
    if (element == nullptr)
        std::abort();
    ++copies;
    int* copy = static_cast<int*>(Etacolla(sizeof(int)));
    *copy = *static_cast<int*>(element);
    return copy;
}

void StrictDiscard(void* element) {
    if (element == nullptr)
        std::abort();
    discardOrder.push_back(*static_cast<int*>(element));
    Deallocate(element);
}

const TOOLS strictTools = {StrictCopy, StrictDiscard};

std::vector<void*> walked;
long stopAfter = -1;

int Record(void* element) {
    walked.push_back(element);
    return static_cast<long>(walked.size()) == stopAfter;
}

int RecordSlot(void** slot) { return Record(*slot); }

int StopAtNull(void* element) { return element == nullptr; }

// Replaces each element by the one of the next slot's value (a walk that
// edits through the slot address).
int Bump(void** slot) {
    if (*slot != nullptr)
        ++*static_cast<int*>(*slot);
    return 0;
}

}  // namespace

TEST(Radix, ShapesFollowTheSize) {
    struct Case {
        unsigned long size;
        unsigned bits;
    };
    for (Case c : {Case{1, 0}, Case{2048, 0}, Case{2049, 11}, Case{4194304, 11}}) {
        RADIX* block = RadixCreate(c.size, nullptr);
        EXPECT_EQ(block->bits, c.bits) << c.size;
        EXPECT_EQ(RadixGet(block, c.size - 1), nullptr);
        RadixPut(block, &walked, c.size - 1);
        EXPECT_EQ(RadixGet(block, c.size - 1), &walked);
        RadixDestroy(block, FALSE);
    }
    RADIX* empty = RadixCreate(0, &strictTools);
    EXPECT_EQ(empty->root, nullptr);
    EXPECT_EQ(RadixApply(empty, StopAtNull), nullptr);
    EXPECT_EQ(RadixBkdrApply(empty, RecordSlot), nullptr);
    RADIX* copy = RadixCopy(empty, TRUE);
    RadixDestroy(copy, TRUE);
    RadixDestroy(empty, TRUE);

    auto tooLarge = RunChild([] { RadixCreate(4194305, nullptr); });
    EXPECT_EQ(tooLarge.signal, SIGABRT);
    EXPECT_EQ(tooLarge.err, "\nRadixCreate: 4194305 slots exceed 4194304\n");
}

TEST(Radix, RandomPutsWalksAndCopiesAgreeWithAVector) {
    std::mt19937 random(3);
    for (unsigned long size : {1UL, 7UL, 2048UL, 2049UL, 6145UL, 70000UL}) {
        RADIX* block = RadixCreate(size, &strictTools);
        std::vector<void*> model(size, nullptr);
        for (int i = 0; i < 3000; ++i) {
            unsigned long n = random() % size;
            if (random() % 4 == 0) {
                ASSERT_EQ(RadixGet(block, n), model[n]);
                continue;
            }
            if (model[n] != nullptr)
                Deallocate(model[n]);
            int* element = nullptr;
            if (random() % 5 != 0) {
                element = static_cast<int*>(Etacolla(sizeof(int)));
                *element = static_cast<int>(n);
            }
            RadixPut(block, element, n);
            model[n] = element;
        }
        for (unsigned long n = 0; n < size; ++n)
            ASSERT_EQ(RadixGet(block, n), model[n]);

        // The four walks visit every slot, null ones too, in their order.
        walked.clear();
        stopAfter = -1;
        EXPECT_EQ(RadixApply(block, Record), nullptr);
        EXPECT_EQ(walked, model);
        walked.clear();
        EXPECT_EQ(RadixAddrApply(block, RecordSlot), nullptr);
        EXPECT_EQ(walked, model);
        std::vector<void*> reversed(model.rbegin(), model.rend());
        walked.clear();
        EXPECT_EQ(RadixBackApply(block, Record), nullptr);
        EXPECT_EQ(walked, reversed);
        walked.clear();
        EXPECT_EQ(RadixBkdrApply(block, RecordSlot), nullptr);
        EXPECT_EQ(walked, reversed);
        // A walk that stops returns the slot's address.
        long stop = static_cast<long>(random() % size);
        walked.clear();
        stopAfter = stop + 1;
        void** slot = RadixApply(block, Record);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, model[stop]);
        *slot = model[stop];
        walked.clear();
        stopAfter = static_cast<long>(size) - stop;
        slot = RadixBkdrApply(block, RecordSlot);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(*slot, model[stop]);
        stopAfter = -1;
        // The first null slot stops a walk that treats null as the end.
        long firstNull = -1;
        for (unsigned long n = 0; n < size && firstNull < 0; ++n)
            if (model[n] == nullptr)
                firstNull = static_cast<long>(n);
        slot = RadixApply(block, StopAtNull);
        if (firstNull < 0) {
            EXPECT_EQ(slot, nullptr);
        } else {
            ASSERT_NE(slot, nullptr);
            int marker = 0;
            RadixPut(block, &marker, static_cast<unsigned long>(firstNull));
            EXPECT_EQ(*slot, &marker);
            RadixPut(block, nullptr, static_cast<unsigned long>(firstNull));
        }

        // Copies with elements never hand a null slot to the tools.
        copies = 0;
        RADIX* deep = RadixCopy(block, TRUE);
        long set = 0;
        for (void* element : model)
            set += element != nullptr;
        EXPECT_EQ(copies, set);
        RadixAddrApply(deep, Bump);
        RADIX* shallow = RadixCopy(block, FALSE);
        for (unsigned long n = 0; n < size; ++n) {
            ASSERT_EQ(RadixGet(shallow, n), model[n]);
            if (model[n] != nullptr)
                ASSERT_EQ(*static_cast<int*>(RadixGet(deep, n)), static_cast<int>(n) + 1);
            else
                ASSERT_EQ(RadixGet(deep, n), nullptr);
        }
        RadixDestroy(shallow, FALSE);
        RadixDestroy(deep, TRUE);
        discardOrder.clear();
        RadixDestroy(block, TRUE);
        EXPECT_EQ(static_cast<long>(discardOrder.size()), set);
        // Within a leaf the slots go from the last down.
        if (discardOrder.size() >= 2 && size <= 2048) {
            EXPECT_GT(discardOrder.front(), discardOrder.back());
        }
    }
}
