// AVL sets.  Insertion and deletion walk down once, remembering the path,
// and rebalance on the way back without recursion; the walks keep their own
// stack.  An AVL tree of height h holds at least Fib(h + 2) - 1 nodes, so no
// tree that fits in memory is deeper than kMaxHeight.
#include "avlset.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "alloc.h"
#include "internal.h"

namespace {

constexpr int kMaxHeight = 128;

AVL*& Child(AVL* node, int dir) { return dir < 0 ? node->left : node->right; }

// Elements with equal keys are ordered by address.
bool Before(const void* a, const void* b) {
    return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b);
}

AVL* NewNode(void* element) {
    auto* node = static_cast<AVL*>(Etacolla(sizeof(AVL)));
    node->element = element;
    node->balance = 0;
    node->left = node->right = nullptr;
    return node;
}

[[noreturn]] void TooDeep(const char* operation) {
    support::InternalError("\n%s: search path longer than %d nodes\n", operation, kMaxHeight);
}

// Rotates the subtree at *link whose side a is two levels higher than the
// other; returns whether the subtree's height is now one less than before
// the imbalance arose (false only when the child on side a was balanced,
// which happens in deletion alone).
bool Rotate(AVL** link, int a) {
    AVL* node = *link;
    AVL* child = Child(node, a);
    if (child->balance != -a) {
        bool shorter = child->balance == a;
        Child(node, a) = Child(child, -a);
        Child(child, -a) = node;
        if (shorter) {
            node->balance = child->balance = 0;
        } else {
            node->balance = a;
            child->balance = -a;
        }
        *link = child;
        return shorter;
    }
    AVL* grand = Child(child, -a);
    Child(child, -a) = Child(grand, a);
    Child(grand, a) = child;
    Child(node, a) = Child(grand, -a);
    Child(grand, -a) = node;
    node->balance = grand->balance == a ? -a : 0;
    child->balance = grand->balance == -a ? a : 0;
    grand->balance = 0;
    *link = grand;
    return true;
}

// A copy of the tree's shape with each element mapped by f (or shared).
AVL* CopyTree(const AVL* root, void* (*f)(void*)) {
    AVL* copy = nullptr;
    std::vector<std::pair<const AVL*, AVL**>> stack;
    if (root != nullptr)
        stack.emplace_back(root, &copy);
    while (!stack.empty()) {
        auto [node, link] = stack.back();
        stack.pop_back();
        AVL* made = NewNode(f != nullptr ? Pvoid(f(node->element)) : node->element);
        made->balance = node->balance;
        *link = made;
        if (node->right != nullptr)
            stack.emplace_back(node->right, &made->right);
        if (node->left != nullptr)
            stack.emplace_back(node->left, &made->left);
    }
    return copy;
}

// In-order walk, ascending (dir = -1: left first) or descending (dir = +1).
AVL* Walk(AVLSET* set, int (*f)(void*), int dir) {
    AVL* stack[kMaxHeight];
    int top = 0;
    AVL* node = set->root;
    while (node != nullptr || top > 0) {
        while (node != nullptr) {
            if (top == kMaxHeight)
                TooDeep("BalTrApply");
            stack[top++] = node;
            node = Child(node, dir);
        }
        node = stack[--top];
        if (f(node->element))
            return node;
        node = Child(node, -dir);
    }
    return nullptr;
}

}  // namespace

extern "C" {

const TOOLS balTrTools = {BalTrCp, BalTrDc};

AVLSET* BalTrCreate(const BALTOOLS* tools) {
    auto* set = static_cast<AVLSET*>(Etacolla(sizeof(AVLSET)));
    set->elCount = 0;
    set->root = nullptr;
    set->tools = tools;
    return set;
}

AVLSET* BalTrCopy(AVLSET* set, int elCopy) {
    AVLSET* copy = BalTrCreate(set->tools);
    copy->elCount = set->elCount;
    copy->root = CopyTree(set->root, elCopy ? set->tools->copy : nullptr);
    return copy;
}

void BalTrDestroy(AVLSET* set, int elDiscard) {
    if (set == nullptr)
        return;
    void (*discard)(void*) = elDiscard ? set->tools->discard : nullptr;
    AVL* stack[kMaxHeight];
    int top = 0;
    AVL* node = set->root;
    while (node != nullptr || top > 0) {
        while (node != nullptr) {
            stack[top++] = node;
            node = node->left;
        }
        node = stack[--top];
        AVL* right = node->right;
        if (discard != nullptr)
            discard(node->element);
        Deallocate(node);
        node = right;
    }
    Deallocate(set);
}

void* BalTrCp(void* set) { return BalTrCopy(static_cast<AVLSET*>(set), TRUE); }

void BalTrDc(void* set) { BalTrDestroy(static_cast<AVLSET*>(set), TRUE); }

AVLSET* BalTrImage(AVLSET* set, const BALTOOLS* tools, void* (*f)(void*)) {
    AVLSET* image = BalTrCreate(tools);
    image->elCount = set->elCount;
    image->root = CopyTree(set->root, f);
    return image;
}

void* BalTrInsert(AVLSET* set, void* element, const void* key, int unique) {
    element = Pvoid(element);
    if (set->root == nullptr) {
        set->root = NewNode(element);
        set->elCount++;
        return nullptr;
    }
    // The critical node is the deepest node on the path whose balance is not
    // 0 (the root when there is none): only it may need a rotation.
    AVL** criticalLink = &set->root;
    int criticalDepth = 0;
    int dirs[kMaxHeight];
    int depth = 0;
    AVL* node = set->root;
    for (;;) {
        int cmp = set->tools->keyCmp(node->element, key);
        int dir;
        if (cmp > 0) {
            dir = -1;
        } else if (cmp < 0) {
            dir = 1;
        } else {
            if (unique || node->element == element)
                return node->element;
            dir = Before(element, node->element) ? -1 : 1;
        }
        if (depth == kMaxHeight)
            TooDeep("BalTrInsert");
        dirs[depth++] = dir;
        AVL** next = &Child(node, dir);
        if (*next == nullptr) {
            *next = NewNode(element);
            break;
        }
        if ((*next)->balance != 0) {
            criticalLink = next;
            criticalDepth = depth;
        }
        node = *next;
    }
    set->elCount++;
    AVL* critical = *criticalLink;
    int a = dirs[criticalDepth];
    // Every node between the critical node and the new one was balanced and
    // now leans towards the new node.
    AVL* below = Child(critical, a);
    for (int i = criticalDepth + 1; i < depth; ++i) {
        below->balance = dirs[i];
        below = Child(below, dirs[i]);
    }
    if (critical->balance == 0)
        critical->balance = a;
    else if (critical->balance == -a)
        critical->balance = 0;
    else
        Rotate(criticalLink, a);
    return nullptr;
}

void* BalTrDelete(AVLSET* set, void* element, const void* key, int elDiscard) {
    AVL** links[kMaxHeight];
    int dirs[kMaxHeight];
    int depth = 0;
    AVL** link = &set->root;
    while (*link != nullptr) {
        AVL* node = *link;
        int cmp = set->tools->keyCmp(node->element, key);
        if (cmp == 0 && (element == nullptr || node->element == element))
            break;
        int dir = cmp > 0 ? -1 : cmp < 0 ? 1 : Before(element, node->element) ? -1 : 1;
        if (depth == kMaxHeight)
            TooDeep("BalTrDelete");
        links[depth] = link;
        dirs[depth++] = dir;
        link = &Child(node, dir);
    }
    AVL* node = *link;
    if (node == nullptr)
        return nullptr;
    if (node->left == nullptr || node->right == nullptr) {
        *link = node->left != nullptr ? node->left : node->right;
    } else {
        // The in-order predecessor takes the node's place, children and
        // balance; the path then runs through it.
        int at = depth;
        links[depth] = link;
        dirs[depth++] = -1;
        AVL** predLink = &node->left;
        while ((*predLink)->right != nullptr) {
            if (depth == kMaxHeight)
                TooDeep("BalTrDelete");
            links[depth] = predLink;
            dirs[depth++] = 1;
            predLink = &(*predLink)->right;
        }
        AVL* pred = *predLink;
        *predLink = pred->left;
        pred->left = node->left;
        pred->right = node->right;
        pred->balance = node->balance;
        *link = pred;
        if (depth > at + 1)
            links[at + 1] = &pred->left;
    }
    // Back up the path while subtrees lose height.
    for (int i = depth - 1; i >= 0; --i) {
        AVL* up = *links[i];
        int d = dirs[i];
        if (up->balance == d) {
            up->balance = 0;
        } else if (up->balance == 0) {
            up->balance = -d;
            break;
        } else if (!Rotate(links[i], -d)) {
            break;
        }
    }
    set->elCount--;
    void* removed = node->element;
    Deallocate(node);
    if (elDiscard && set->tools->discard != nullptr)
        set->tools->discard(removed);
    return removed;
}

void* BalTrElement(AVLSET* set, const void* key) {
    for (AVL* node = set->root; node != nullptr;) {
        int cmp = set->tools->keyCmp(node->element, key);
        if (cmp == 0)
            return node->element;
        node = cmp > 0 ? node->left : node->right;
    }
    return nullptr;
}

void* BalTrGrEqPrefix(AVLSET* set, const void* key, int usePrefix) {
    AVL* found = nullptr;
    for (AVL* node = set->root; node != nullptr;) {
        if (set->tools->keyCmp(node->element, key) >= 0) {
            found = node;
            node = node->left;
        } else {
            node = node->right;
        }
    }
    if (found == nullptr || (usePrefix && !set->tools->prefix(found->element, key)))
        return nullptr;
    return found->element;
}

void* BalTrNext(AVLSET* set, void* element, const void* key, const void* prefix) {
    AVL* found = nullptr;
    for (AVL* node = set->root; node != nullptr;) {
        int cmp = set->tools->keyCmp(node->element, key);
        if (cmp > 0 || (cmp == 0 && Before(element, node->element))) {
            found = node;
            node = node->left;
        } else {
            node = node->right;
        }
    }
    if (found == nullptr || (prefix != nullptr && !set->tools->prefix(found->element, prefix)))
        return nullptr;
    return found->element;
}

void* BalTrFirst(AVLSET* set) {
    AVL* node = set->root;
    if (node == nullptr)
        return nullptr;
    while (node->left != nullptr)
        node = node->left;
    return node->element;
}

void* BalTrLast(AVLSET* set) {
    AVL* node = set->root;
    if (node == nullptr)
        return nullptr;
    while (node->right != nullptr)
        node = node->right;
    return node->element;
}

AVL*(BalTrApply)(AVLSET* set, int (*f)(void*)) { return Walk(set, f, -1); }

AVL*(BalTrBackApply)(AVLSET* set, int (*f)(void*)) { return Walk(set, f, 1); }

}  // extern "C"
