// Cursor lists.
#include "dynam.h"

#include <cstring>

#include "alloc.h"

namespace {

LISTNODE* NewCell(void* element, LISTNODE* next) {
    auto* cell = static_cast<LISTNODE*>(Etacolla(sizeof(LISTNODE)));
    cell->_next = next;
    cell->_node = Pvoid(element);
    return cell;
}

void Discard(const LIST* list, void* element) {
    if (list->_tools != nullptr && list->_tools->_discard != nullptr)
        list->_tools->_discard(element);
}

// Frees a removed cell; the result is its element, or null when discarded.
void* Release(const LIST* list, LISTNODE* cell, int elDiscard) {
    void* element = cell->_node;
    Deallocate(cell);
    if (elDiscard) {
        Discard(list, element);
        return nullptr;
    }
    return element;
}

// The global cursor stack: its elements are saved cursor cells (possibly
// null), so it is kept apart from the element lists.
LIST* cursorStack = nullptr;

void* StrCpTool(void* text) { return StrCp(static_cast<const char*>(text)); }

}  // namespace

extern "C" {

const TOOLS strTools = {StrCpTool, Deallocate};
const TOOLS lstTools = {LstCp, LstDc};

LIST* LstCreate(const TOOLS* tools) {
    auto* list = static_cast<LIST*>(Etacolla(sizeof(LIST)));
    list->_first = list->_this = list->_last = nullptr;
    list->_tools = tools;
    return list;
}

void LstDestroy(LIST* list, int elDiscard) {
    if (list == nullptr)
        return;
    for (LISTNODE* cell = list->_first; cell != nullptr;) {
        LISTNODE* next = cell->_next;
        Release(list, cell, elDiscard);
        cell = next;
    }
    Deallocate(list);
}

void* LstInsFirst(LIST* list, void* element) {
    LISTNODE* cell = NewCell(element, list->_first);
    list->_first = cell;
    if (list->_last == nullptr)
        list->_last = cell;
    list->_this = cell;
    return cell->_node;
}

void* LstInsLast(LIST* list, void* element) {
    LISTNODE* cell = NewCell(element, nullptr);
    if (list->_last == nullptr)
        list->_first = cell;
    else
        list->_last->_next = cell;
    list->_last = cell;
    list->_this = cell;
    return cell->_node;
}

void* LstInsNext(LIST* list, void* element) {
    LISTNODE* cursor = list->_this;
    if (cursor == nullptr)
        return LstInsFirst(list, element);
    LISTNODE* cell = NewCell(element, cursor->_next);
    cursor->_next = cell;
    if (list->_last == cursor)
        list->_last = cell;
    list->_this = cell;
    return cell->_node;
}

void* LstDelFirst(LIST* list, int elDiscard) {
    LISTNODE* cell = list->_first;
    if (cell == nullptr)
        return nullptr;
    list->_first = cell->_next;
    if (list->_first == nullptr)
        list->_last = nullptr;
    if (list->_this == cell)
        list->_this = list->_first;
    return Release(list, cell, elDiscard);
}

void* LstDelNext(LIST* list, int elDiscard) {
    if (list == nullptr)
        return nullptr;
    LISTNODE* cursor = list->_this;
    if (cursor == nullptr)
        return LstDelFirst(list, elDiscard);
    LISTNODE* cell = cursor->_next;
    if (cell == nullptr)
        return nullptr;
    cursor->_next = cell->_next;
    if (list->_last == cell)
        list->_last = cursor;
    return Release(list, cell, elDiscard);
}

void* LstDelete(LIST* list, void* element, int elDiscard) {
    if (list == nullptr)
        return nullptr;
    LISTNODE* previous = nullptr;
    LISTNODE* cell = list->_first;
    while (cell != nullptr && cell->_node != element) {
        previous = cell;
        cell = cell->_next;
    }
    if (cell == nullptr)
        return nullptr;
    if (previous == nullptr)
        list->_first = cell->_next;
    else
        previous->_next = cell->_next;
    if (list->_last == cell)
        list->_last = previous;
    if (list->_this == cell)
        list->_this = previous;
    void* removed = Release(list, cell, elDiscard);
    return removed != nullptr ? Pvoid(removed) : nullptr;
}

void* LstDelLast(LIST* list, int elDiscard) {
    LISTNODE* cell = list->_last;
    if (cell == nullptr)
        return nullptr;
    LISTNODE* previous = nullptr;
    if (list->_first != cell)
        for (previous = list->_first; previous->_next != cell; previous = previous->_next) {
        }
    if (previous == nullptr)
        list->_first = nullptr;
    else
        previous->_next = nullptr;
    list->_last = previous;
    if (list->_this == cell)
        list->_this = previous;
    return Release(list, cell, elDiscard);
}

LIST* LstCopy(LIST* list, int elCopy) {
    LIST* copy = LstCreate(list->_tools);
    for (list->_this = list->_first; list->_this != nullptr && list->_this->_node != nullptr;
         list->_this = list->_this->_next) {
        void* element = list->_this->_node;
        if (elCopy) {
            element = list->_tools != nullptr && list->_tools->_copy != nullptr
                          ? list->_tools->_copy(element)
                          : nullptr;
            if (element == nullptr) {
                list->_this = nullptr;
                LstDestroy(copy, TRUE);
                return nullptr;
            }
        }
        LstInsLast(copy, element);
    }
    list->_this = nullptr;
    copy->_this = nullptr;
    return copy;
}

LIST* LstCatenate(LIST* a, LIST* b) {
    if (a == nullptr || b == nullptr)
        return nullptr;
    if (a == b || b->_first == nullptr)
        return a;
    if (a->_last == nullptr)
        a->_first = b->_first;
    else
        a->_last->_next = b->_first;
    a->_last = b->_last;
    b->_first = b->_this = b->_last = nullptr;
    return a;
}

unsigned long LstSize(LIST* list) {
    unsigned long count = 0;
    if (list != nullptr)
        for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
            ++count;
    return count;
}

unsigned long LstWhich(LIST* list, void* element) {
    unsigned long position = 1;
    for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next, ++position)
        if (cell->_node == element)
            return position;
    return 0;
}

void* LstElement(LIST* list, unsigned long n) {
    if (n == 0)
        return nullptr;
    LISTNODE* cell = list->_first;
    while (cell != nullptr && --n > 0)
        cell = cell->_next;
    return cell != nullptr ? cell->_node : nullptr;
}

LIST* LstInit(void) {
    if (cursorStack == nullptr)
        cursorStack = LstCreate(nullptr);
    return cursorStack;
}

void* LstStore(LIST* list) {
    LstInit();
    // Pushed directly: a null cursor is a valid entry of this stack.
    cursorStack->_first = NewCell(list->_this, cursorStack->_first);
    if (cursorStack->_last == nullptr)
        cursorStack->_last = cursorStack->_first;
    return list->_this;
}

void* LstRestore(LIST* list) {
    LstInit();
    LISTNODE* top = cursorStack->_first;
    if (top == nullptr) {
        list->_this = nullptr;
        return nullptr;
    }
    cursorStack->_first = top->_next;
    if (cursorStack->_first == nullptr)
        cursorStack->_last = nullptr;
    auto* cell = static_cast<LISTNODE*>(top->_node);
    Deallocate(top);
    list->_this = cell;
    return cell != nullptr ? cell->_node : nullptr;
}

char* StrCp(const char* text) {
    size_t length = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(Etacolla(length));
    std::memcpy(copy, text, length);
    return copy;
}

void* LstCp(void* list) { return LstCopy(static_cast<LIST*>(list), TRUE); }

void LstDc(void* list) { LstDestroy(static_cast<LIST*>(list), TRUE); }

}  // extern "C"
