// Cursor lists against a vector model with a cursor index.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "alloc.h"
#include "dynam.h"

namespace {

// Elements are boxed ids; the tools copy them under a new id and record what
// was discarded, so that the tests can see every element's fate.
std::set<int> discarded;
bool failCopies = false;

int* Box(int id) {
    int* box = static_cast<int*>(Etacolla(sizeof(int)));
    *box = id;
    return box;
}

void* CopyBox(void* element) {
    if (failCopies && *static_cast<int*>(element) % 3 == 2)
        return nullptr;
    return Box(*static_cast<int*>(element));
}

void DiscardBox(void* element) {
    discarded.insert(*static_cast<int*>(element));
    Deallocate(element);
}

const TOOLS boxTools = {CopyBox, DiscardBox};

// The model: the elements in order and the cursor's index (-1: null).
struct Model {
    std::vector<int*> cells;
    long cursor = -1;
};

void ExpectSame(const LIST* list, const Model& model) {
    std::vector<int*> actual;
    const LISTNODE* last = nullptr;
    long cursor = -1;
    for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
        if (cell == list->_this)
            cursor = static_cast<long>(actual.size());
        actual.push_back(static_cast<int*>(cell->_node));
        last = cell;
    }
    ASSERT_EQ(actual, model.cells);
    ASSERT_EQ(list->_last, last);
    ASSERT_EQ(cursor, model.cursor);
    if (model.cursor < 0) {
        ASSERT_EQ(list->_this, nullptr);
    }
}

}  // namespace

TEST(Dynam, RandomOperationsAgreeWithAVectorModel) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        LIST* list = LstCreate(&boxTools);
        Model model;
        int id = 0;
        for (int step = 0; step < 300; ++step) {
            int n = static_cast<int>(model.cells.size());
            int op = static_cast<int>(random() % 11);
            if (op <= 2) {
                int* element = Box(id++);
                void* result = op == 0   ? LstInsFirst(list, element)
                               : op == 1 ? LstInsLast(list, element)
                                         : LstInsNext(list, element);
                ASSERT_EQ(result, element);
                long at = op == 0 ? 0 : op == 1 ? n : model.cursor + 1;
                model.cells.insert(model.cells.begin() + at, element);
                model.cursor = at;
            } else if (op == 3) {
                bool discard = random() % 2;
                int value = n > 0 ? *model.cells.front() : -1;
                void* result = LstDelFirst(list, discard);
                if (n == 0) {
                    ASSERT_EQ(result, nullptr);
                } else {
                    int* element = model.cells.front();
                    model.cells.erase(model.cells.begin());
                    if (model.cursor == 0)
                        model.cursor = model.cells.empty() ? -1 : 0;
                    else if (model.cursor > 0)
                        --model.cursor;
                    if (discard) {
                        ASSERT_EQ(result, nullptr);
                        ASSERT_TRUE(discarded.count(value));
                    } else {
                        ASSERT_EQ(result, element);
                        Deallocate(element);
                    }
                }
            } else if (op == 4) {
                void* result = LstDelNext(list, FALSE);
                long at = model.cursor + 1;
                if (at >= n) {
                    ASSERT_EQ(result, nullptr);
                } else {
                    ASSERT_EQ(result, model.cells[at]);
                    Deallocate(model.cells[at]);
                    model.cells.erase(model.cells.begin() + at);
                }
            } else if (op == 5 && n > 0) {
                long at = static_cast<long>(random() % n);
                int* element = model.cells[at];
                ASSERT_EQ(LstDelete(list, element, FALSE), element);
                Deallocate(element);
                model.cells.erase(model.cells.begin() + at);
                if (model.cursor == at)
                    model.cursor = at - 1;
                else if (model.cursor > at)
                    --model.cursor;
            } else if (op == 6) {
                void* result = LstDelLast(list, TRUE);
                ASSERT_EQ(result, nullptr);
                if (n > 0) {
                    model.cells.pop_back();
                    if (model.cursor == n - 1)
                        model.cursor = n - 2;
                }
            } else if (op == 7) {
                long at = static_cast<long>(random() % (n + 1)) - 1;
                LstSet(list, at < 0 ? nullptr : [&] {
                    LISTNODE* cell = list->_first;
                    for (long i = 0; i < at; ++i)
                        cell = cell->_next;
                    return cell;
                }());
                model.cursor = at;
            } else if (op == 8) {
                ASSERT_EQ(LstSize(list), static_cast<unsigned long>(n));
                if (n > 0) {
                    long at = static_cast<long>(random() % n);
                    ASSERT_EQ(LstWhich(list, model.cells[at]), static_cast<unsigned long>(at + 1));
                    ASSERT_EQ(LstElement(list, at + 1), model.cells[at]);
                }
                ASSERT_EQ(LstElement(list, 0), nullptr);
                ASSERT_EQ(LstElement(list, n + 1), nullptr);
                int outside = 0;
                ASSERT_EQ(LstWhich(list, &outside), 0u);
            } else if (op == 9) {
                LIST* copy = LstCopy(list, random() % 2);
                ASSERT_EQ(list->_this, nullptr);
                model.cursor = -1;
                std::vector<int> values;
                int* element = nullptr;
                LSTFOR(copy, element, int) values.push_back(*element);
                std::vector<int> expected;
                for (int* element : model.cells)
                    expected.push_back(*element);
                ASSERT_EQ(values, expected);
                bool owned = false;
                if (copy->_first != nullptr)
                    owned = copy->_first->_node != list->_first->_node;
                if (owned)
                    LstDestroy(copy, TRUE);
                else
                    LstDestroy(copy, FALSE);
            } else {
                LIST* other = LstCreate(&boxTools);
                int k = static_cast<int>(random() % 3);
                std::vector<int*> added;
                for (int i = 0; i < k; ++i)
                    added.push_back(static_cast<int*>(LstInsLast(other, Box(id++))));
                ASSERT_EQ(LstCatenate(list, other), list);
                ASSERT_TRUE(LstEmpty(other));
                ASSERT_EQ(other->_this, nullptr);
                ASSERT_EQ(other->_last, nullptr);
                LstDestroy(other, TRUE);
                model.cells.insert(model.cells.end(), added.begin(), added.end());
            }
            ExpectSame(list, model);
        }
        LstDestroy(list, TRUE);
    }
}

TEST(Dynam, CursorEdgeCases) {
    LIST* list = LstCreate(&boxTools);
    int* a = Box(1);
    int* b = Box(2);
    int* c = Box(3);
    // On an empty list LstInsNext makes the one cell first and last.
    LstInsNext(list, b);
    EXPECT_EQ(list->_first, list->_last);
    // A null cursor inserts at the head and leaves _last alone.
    LstSet(list, nullptr);
    LstInsNext(list, a);
    EXPECT_EQ(list->_first->_node, a);
    EXPECT_EQ(list->_last->_node, b);
    LstInsLast(list, c);
    // With the cursor on the last cell LstDelNext removes nothing.
    EXPECT_EQ(LstDelNext(list, TRUE), nullptr);
    EXPECT_EQ(LstSize(list), 3u);
    // Deleting the head under the cursor leaves the cursor before the head.
    LstSet(list, list->_first);
    EXPECT_EQ(LstDelete(list, a, FALSE), a);
    EXPECT_EQ(LstGet(list), nullptr);
    Deallocate(a);
    // Null lists.
    EXPECT_EQ(LstSize(nullptr), 0u);
    EXPECT_EQ(LstDelete(nullptr, b, FALSE), nullptr);
    EXPECT_EQ(LstDelNext(nullptr, FALSE), nullptr);
    EXPECT_EQ(LstCatenate(nullptr, list), nullptr);
    EXPECT_EQ(LstCatenate(list, nullptr), nullptr);
    // A list catenated to itself keeps its cells.
    EXPECT_EQ(LstCatenate(list, list), list);
    EXPECT_EQ(LstSize(list), 2u);
    // Catenating onto an empty list hands over the cells.
    LIST* empty = LstCreate(&boxTools);
    LstCatenate(empty, list);
    EXPECT_EQ(LstSize(empty), 2u);
    EXPECT_EQ(empty->_last->_node, c);
    EXPECT_TRUE(LstEmpty(list));
    LstDestroy(list, TRUE);
    LstDestroy(empty, TRUE);
}

TEST(Dynam, WalkThatDeletesGoesOnWithTheRightCell) {
    LIST* list = LstCreate(&boxTools);
    for (int i = 0; i < 10; ++i)
        LstInsLast(list, Box(i));
    std::vector<int> seen;
    int* element = nullptr;
    LSTFOR(list, element, int) {
        seen.push_back(*element);
        if (*element % 3 == 0)  // the head among them
            LstDelete(list, element, TRUE);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    std::vector<int> left;
    LSTFOR(list, element, int) left.push_back(*element);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(left, (std::vector<int>{1, 2, 4, 5, 7, 8}));
    LstDestroy(list, TRUE);
}

TEST(Dynam, CopyCleansUpAfterAFailedElementCopy) {
    LIST* list = LstCreate(&boxTools);
    for (int i = 0; i < 6; ++i)
        LstInsLast(list, Box(100 + i));  // 101 % 3 == 2 fails
    discarded.clear();
    failCopies = true;
    EXPECT_EQ(LstCopy(list, TRUE), nullptr);
    failCopies = false;
    EXPECT_EQ(discarded, std::set<int>{100});  // the one copy made so far
    EXPECT_EQ(list->_this, nullptr);
    EXPECT_EQ(LstSize(list), 6u);
    LstDestroy(list, TRUE);
}

TEST(Dynam, CursorStackAndToolTables) {
    LstInit();
    LIST* outer = LstCreate(&strTools);
    for (const char* word : {"a", "b", "c"})
        LstInsLast(outer, StrCp(word));
    LstSet(outer, outer->_first->_next);
    EXPECT_EQ(LstStore(outer), outer->_first->_next);
    LstSet(outer, nullptr);
    LstStore(outer);
    LstSet(outer, outer->_first);
    EXPECT_EQ(LstRestore(outer), nullptr);  // the null cursor comes back
    EXPECT_EQ(LstGet(outer), nullptr);
    EXPECT_STREQ(static_cast<char*>(LstRestore(outer)), "b");

    // A list of lists of strings copied and destroyed deeply.
    LIST* lists = LstCreate(&lstTools);
    LstInsLast(lists, outer);
    LIST* copy = LstCopy(lists, TRUE);
    auto* inner = static_cast<LIST*>(LstElement(copy, 1));
    EXPECT_NE(inner, outer);
    EXPECT_STREQ(static_cast<char*>(LstElement(inner, 3)), "c");
    EXPECT_NE(LstElement(inner, 3), LstElement(outer, 3));
    LstDestroy(copy, TRUE);
    LstDestroy(lists, TRUE);
}
