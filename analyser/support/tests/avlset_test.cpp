// AVL sets against std::multiset of (key, address) on random operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "alloc.h"
#include "avlset.h"

namespace {

// Elements are NUL-terminated words; the key of an element is its text.
int WordCmp(void* element, const void* key) {
    return std::strcmp(static_cast<const char*>(element), static_cast<const char*>(key));
}

int WordPrefix(void* element, const void* prefix) {
    const char* p = static_cast<const char*>(prefix);
    return std::strncmp(static_cast<const char*>(element), p, std::strlen(p)) == 0;
}

void* WordCopy(void* element) { return StrCp(static_cast<const char*>(element)); }

const BALTOOLS wordTools = {WordCopy, Deallocate, WordCmp, WordPrefix};

using Entry = std::pair<std::string, std::uintptr_t>;

std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Checks order, balances and heights; returns the height.
int CheckTree(const AVL* node, std::vector<Entry>& inOrder) {
    if (node == nullptr)
        return 0;
    int left = CheckTree(node->left, inOrder);
    inOrder.emplace_back(static_cast<const char*>(node->element), Address(node->element));
    int right = CheckTree(node->right, inOrder);
    EXPECT_EQ(node->balance, right - left);
    EXPECT_LE(std::abs(right - left), 1);
    return 1 + std::max(left, right);
}

void ExpectSame(AVLSET* set, const std::multiset<Entry>& model) {
    std::vector<Entry> inOrder;
    int height = CheckTree(set->root, inOrder);
    ASSERT_EQ(inOrder, std::vector<Entry>(model.begin(), model.end()));
    ASSERT_EQ(set->elCount, model.size());
    ASSERT_LE(height, 1.4405 * std::log2(model.size() + 2.0));
}

std::vector<std::string>* visited;
std::string stopAt;

int Visit(void* element) {
    visited->push_back(static_cast<const char*>(element));
    return stopAt == static_cast<const char*>(element);
}

std::string RandomWord(std::mt19937& random) {
    std::string word;
    int length = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < length; ++i)
        word += static_cast<char>('a' + random() % 4);
    return word;
}

}  // namespace

TEST(AvlSet, RandomOperationsAgreeWithAMultiset) {
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        AVLSET* set = BalTrCreate(&wordTools);
        std::multiset<Entry> model;
        std::vector<char*> stored;  // the elements in the set
        for (int step = 0; step < 600; ++step) {
            int op = static_cast<int>(random() % 10);
            std::string key = RandomWord(random);
            if (op <= 3) {
                bool unique = op == 0;
                char* element = StrCp(key.c_str());
                void* result = BalTrInsert(set, element, element, unique);
                auto equal = model.lower_bound({key, 0});
                bool present = equal != model.end() && equal->first == key;
                if (unique && present) {
                    ASSERT_NE(result, nullptr);
                    ASSERT_EQ(static_cast<const char*>(result), key);
                    Deallocate(element);
                } else {
                    ASSERT_EQ(result, nullptr);
                    model.insert({key, Address(element)});
                    stored.push_back(element);
                }
            } else if (op == 4 && !stored.empty()) {
                // The very same pointer again: returned, nothing inserted.
                char* element = stored[random() % stored.size()];
                ASSERT_EQ(BalTrInsert(set, element, element, FALSE), element);
            } else if (op == 5 && !stored.empty()) {
                size_t at = random() % stored.size();
                char* element = stored[at];
                model.erase(model.find({element, Address(element)}));
                ASSERT_EQ(BalTrDelete(set, element, element, FALSE), element);
                Deallocate(element);
                stored.erase(stored.begin() + static_cast<long>(at));
            } else if (op == 6) {
                // By key alone: one element with that key goes.
                auto equal = model.lower_bound({key, 0});
                bool present = equal != model.end() && equal->first == key;
                void* removed = BalTrDelete(set, nullptr, key.c_str(), FALSE);
                ASSERT_EQ(removed != nullptr, present);
                if (present) {
                    ASSERT_EQ(static_cast<const char*>(removed), key);
                    model.erase(model.find({key, Address(removed)}));
                    for (size_t i = 0; i < stored.size(); ++i)
                        if (stored[i] == removed)
                            stored.erase(stored.begin() + static_cast<long>(i));
                    Deallocate(removed);
                }
            } else if (op == 7) {
                auto equal = model.lower_bound({key, 0});
                void* found = BalTrElement(set, key.c_str());
                if (equal != model.end() && equal->first == key)
                    ASSERT_EQ(found != nullptr ? std::string(static_cast<char*>(found)) : "", key);
                else
                    ASSERT_EQ(found, nullptr);
                // Least element not below the key, with and without prefix.
                void* ge = BalTrGrEqPrefix(set, key.c_str(), FALSE);
                ASSERT_EQ(Address(ge), equal == model.end() ? 0 : equal->second);
                void* gePrefix = BalTrGrEqPrefix(set, key.c_str(), TRUE);
                bool starts = equal != model.end() && equal->first.compare(0, key.size(), key) == 0;
                ASSERT_EQ(Address(gePrefix), starts ? equal->second : 0);
            } else if (op == 8 && !stored.empty()) {
                char* element = stored[random() % stored.size()];
                auto next = std::next(model.find({element, Address(element)}));
                ASSERT_EQ(Address(BalTrNext(set, element, element, nullptr)),
                          next == model.end() ? 0 : next->second);
                std::string prefix = std::string(element).substr(0, 1);
                bool starts = next != model.end() && next->first[0] == prefix[0];
                ASSERT_EQ(Address(BalTrNext(set, element, element, prefix.c_str())),
                          starts ? next->second : 0);
            } else if (op == 9) {
                AVLSET* copy = BalTrCopy(set, random() % 2);
                std::vector<Entry> original, copied;
                CheckTree(set->root, original);
                CheckTree(copy->root, copied);
                ASSERT_EQ(original.size(), copied.size());
                for (size_t i = 0; i < original.size(); ++i)
                    ASSERT_EQ(original[i].first, copied[i].first);
                BalTrDestroy(copy, copy->root != nullptr && copy->root->element != set->root->element);
            }
            ExpectSame(set, model);
        }
        ASSERT_EQ(Address(BalTrFirst(set)), model.empty() ? 0 : model.begin()->second);
        ASSERT_EQ(Address(BalTrLast(set)), model.empty() ? 0 : model.rbegin()->second);
        BalTrDestroy(set, TRUE);
    }
}

TEST(AvlSet, SortedAndZigZagInsertionsStayBalanced) {
    for (int shape = 0; shape < 3; ++shape) {
        AVLSET* set = BalTrCreate(&wordTools);
        std::multiset<Entry> model;
        for (int i = 0; i < 1000; ++i) {
            int n = shape == 0 ? i : shape == 1 ? 999 - i : (i % 2 ? i / 2 : 999 - i / 2);
            char text[8];
            std::snprintf(text, sizeof text, "%04d", n);
            char* element = StrCp(text);
            ASSERT_EQ(BalTrInsert(set, element, element, TRUE), nullptr);
            model.insert({text, Address(element)});
        }
        ExpectSame(set, model);
        // Deleting every other key keeps the balance too.
        for (int i = 0; i < 1000; i += 2) {
            char text[12];
            std::snprintf(text, sizeof text, "%04d", i);
            void* removed = BalTrDelete(set, nullptr, text, TRUE);
            ASSERT_NE(removed, nullptr);
            model.erase(model.lower_bound({text, 0}));
        }
        ExpectSame(set, model);
        BalTrDestroy(set, TRUE);
    }
}

TEST(AvlSet, EqualKeysWalksAndImages) {
    AVLSET* set = BalTrCreate(&wordTools);
    std::vector<std::string> seen;
    visited = &seen;
    stopAt = "";
    EXPECT_EQ(BalTrApply(set, Visit), nullptr);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(BalTrDelete(set, nullptr, "x", FALSE), nullptr);

    // Two elements with equal keys are both kept, in address order.
    char* words = static_cast<char*>(Etacolla(16));
    std::strcpy(words, "bb");
    std::strcpy(words + 8, "bb");
    char* first = words;
    char* second = words + 8;
    EXPECT_EQ(BalTrInsert(set, second, second, FALSE), nullptr);
    EXPECT_EQ(BalTrInsert(set, first, first, FALSE), nullptr);
    for (const char* w : {"a", "c", "ba", "bc"})
        BalTrInsert(set, StrCp(w), w, TRUE);
    EXPECT_EQ(BalTrNext(set, first, first, nullptr), second);
    EXPECT_STREQ(static_cast<char*>(BalTrNext(set, second, second, nullptr)), "bc");
    EXPECT_EQ(BalTrDelete(set, second, second, FALSE), second);
    EXPECT_EQ(BalTrElement(set, "bb"), first);
    EXPECT_EQ(BalTrDelete(set, first, first, FALSE), first);
    Deallocate(words);

    // The least element at or after "bd" is "c", which lacks the prefix.
    EXPECT_EQ(BalTrGrEqPrefix(set, "bd", TRUE), nullptr);
    EXPECT_STREQ(static_cast<char*>(BalTrGrEqPrefix(set, "bd", FALSE)), "c");

    BalTrApply(set, Visit);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "ba", "bc", "c"}));
    seen.clear();
    BalTrBackApply(set, Visit);
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "bc", "ba", "a"}));
    seen.clear();
    stopAt = "ba";
    AVL* node = BalTrApply(set, Visit);
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(static_cast<char*>(node->element), "ba");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "ba"}));

    AVLSET* image = BalTrImage(set, &wordTools, WordCopy);
    EXPECT_EQ(image->elCount, 4u);
    EXPECT_STREQ(static_cast<char*>(BalTrLast(image)), "c");
    EXPECT_NE(BalTrLast(image), BalTrLast(set));
    BalTrDestroy(image, TRUE);
    AVLSET* copy = static_cast<AVLSET*>(BalTrCp(set));
    BalTrDc(copy);
    BalTrDestroy(set, TRUE);
}
