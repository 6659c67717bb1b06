// Binary files, in-memory copies, element tools, paths and bit sets.
#include "fileaux.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "alloc.h"
#include "internal.h"

AVLSET* monitors = nullptr;

namespace {

constexpr unsigned long kChunk = 8192;

BINARYFILE Open(const char* name, int flags, const char* failure) {
    int fd;
    do
        fd = open(name, flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (failure != nullptr) {
            std::fprintf(_err, failure, name);
            ErrnoOutput(_err);
        }
        ClearErrno();
    }
    return fd;
}

unsigned long Address(const void* p) {
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p));
}

// Moves cnt bytes by read or write in chunks of at most 8192 bytes,
// repeating short transfers and those an interrupting signal cut off.
template <typename Byte, typename Call>
void Transfer(Byte* at, unsigned long cnt, BINARYFILE file, Call call, const char* failure) {
    while (cnt > 0) {
        unsigned long chunk = cnt < kChunk ? cnt : kChunk;
        cnt -= chunk;
        while (chunk > 0) {
            ssize_t moved = call(file, at, chunk);
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved <= 0)
                support::SystemError(failure, file, Address(at), chunk, static_cast<unsigned long>(moved));
            at += moved;
            chunk -= static_cast<unsigned long>(moved);
        }
    }
}

// Typed tools seen through the untyped tables.
template <typename T, T* (*copy)(const T*)>
void* CopyTool(void* element) {
    return copy(static_cast<const T*>(element));
}
template <typename T, typename K, int (*compare)(T*, const K*)>
int CompareTool(void* element, const void* key) {
    return compare(static_cast<T*>(element), static_cast<const K*>(key));
}
template <typename T, void (*discard)(T*)>
void DiscardTool(void* element) {
    discard(static_cast<T*>(element));
}

int StrCmpTool(void* element, const void* key) {
    return std::strcmp(static_cast<const char*>(element), static_cast<const char*>(key));
}

int Sign(unsigned long a, unsigned long b) { return a < b ? -1 : a > b ? 1 : 0; }

STEP* Step(const LISTNODE* cell) { return static_cast<STEP*>(cell->_node); }

PATH* PthCopyConst(const PATH* path) { return PthCopy(const_cast<PATH*>(path)); }
int PthCompareTool(void* path, const void* key) {
    return PthCompare(static_cast<PATH*>(path), static_cast<PATH*>(const_cast<void*>(key)));
}
int PthSuffixTool(void* path, const void* suffix) {
    return PthSuffix(static_cast<PATH*>(path), static_cast<PATH*>(const_cast<void*>(suffix)));
}
STEP* StpCopyConst(const STEP* step) { return StpCopy(const_cast<STEP*>(step)); }
REF* RefCopyConst(const REF* ref) { return RefCopy(const_cast<REF*>(ref)); }
DREF* DrefCopyConst(const DREF* dref) { return DrefCopy(const_cast<DREF*>(dref)); }
char* StrCpConst(const char* text) { return StrCp(text); }

// Bytes of leaf i of a bit set of count bits.
unsigned long LeafBytes(unsigned long count, unsigned long leaf, unsigned long leaves) {
    return leaf + 1 < leaves ? kChunk : (((count - 1) >> 3) & 0x1FFF) + 1;
}

const TOOLS leafTools = {nullptr, Deallocate};

unsigned char* BitByte(BITSET* bitset, unsigned long n) {
    auto* leaf = static_cast<unsigned char*>(RadixGet(bitset->set, n >> 16));
    return leaf + ((n >> 3) & 0x1FFF);
}

}  // namespace

extern "C" {

BINARYFILE CreateUpdate(const char* name) {
    return Open(name, O_RDWR | O_CREAT | O_TRUNC, "\nCannot open empty file %s for reading and writing\n");
}

BINARYFILE CreateWrite(const char* name) {
    return Open(name, O_WRONLY | O_CREAT | O_TRUNC, "\nCannot open empty file %s for writing\n");
}

BINARYFILE OpenRead(const char* name, int strict) {
    return Open(name, O_RDONLY, strict ? "\nCannot open file %s for reading\n" : nullptr);
}

BINARYFILE OpenUpdate(const char* name) { return Open(name, O_RDWR, "\nCannot open file %s for updating\n"); }

int OwnClose(BINARYFILE file) {
    int result = close(file);
    if (result != 0) {
        std::fprintf(_err, "\nOwnClose: close(%d) returned %d\n", file, result);
        ErrnoOutput(_err);
        ClearErrno();
    }
    return result;
}

void SeekAbs(BINARYFILE file, unsigned long pos) {
    if (lseek(file, static_cast<off_t>(pos), SEEK_SET) == -1)
        support::SystemError("\nSeekAbs: lseek(%d, %ld, %d) returned -1\n", file, static_cast<long>(pos), SEEK_SET);
}

unsigned long SeekEnd(BINARYFILE file) {
    off_t end = lseek(file, 0, SEEK_END);
    if (end == -1)
        support::SystemError("\nSeekAbs: lseek(%d, 0L, %d) returned -1\n", file, SEEK_END);
    return static_cast<unsigned long>(end);
}

void ReadBytes(void* buf, unsigned long cnt, BINARYFILE file) {
    Transfer(static_cast<unsigned char*>(buf), cnt, file, read, "\nReadBytes: read(%d, 0x%lx, %lu) returned %lu\n");
}

void WriteBytes(const void* buf, unsigned long cnt, BINARYFILE file) {
    Transfer(static_cast<const unsigned char*>(buf), cnt, file, write,
             "\nWriteBytes: write(%d, 0x%lx, %lu) returned %lu\n");
}

MMFILE* MapToMem(char* name, BINARYFILE bFile, unsigned long len, unsigned long actLen) {
    // The block may be refused: the caller then works on the file.
    void* block = len < actLen || len >= SIZE_MAX ? nullptr : std::malloc(len + 1);
    if (block == nullptr) {
        std::fprintf(_err, "\n%s is used directly\n", name);
        if (len >= actLen)
            ClearErrno();
        Deallocate(name);
        return nullptr;
    }
    auto* mm = static_cast<MMFILE*>(Etacolla(sizeof(MMFILE)));
    mm->name = name;
    mm->bFile = bFile;
    mm->start = static_cast<unsigned char*>(block);
    mm->len = len;
    mm->actLen = actLen;
    mm->offset = 0;
    SeekAbs(bFile, 0);
    ReadBytes(mm->start, actLen, bFile);
    mm->start[actLen] = '\0';
    return mm;
}

void MapSkAbs(MMFILE* mm, unsigned long pos) { mm->offset = pos; }

void MapReBytes(void* buf, unsigned long cnt, MMFILE* mm) {
    if (mm->offset > mm->actLen || cnt > mm->actLen - mm->offset)
        support::InternalError("\nMapReBytes: actLen (%lu) < offset (%lu)\n", mm->actLen, mm->offset + cnt);
    if (cnt > 0)
        std::memcpy(buf, mm->start + mm->offset, cnt);
    mm->offset += cnt;
}

void MapWrBytes(const void* buf, unsigned long cnt, MMFILE** mm) {
    MMFILE* copy = *mm;
    if (copy->offset <= copy->len && cnt <= copy->len - copy->offset) {
        if (cnt > 0)
            std::memcpy(copy->start + copy->offset, buf, cnt);
        copy->offset += cnt;
        if (copy->offset > copy->actLen)
            copy->actLen = copy->offset;
        return;
    }
    std::fprintf(_err, "\n%s is used directly\n", copy->name);
    MapFlush(copy);
    SeekAbs(copy->bFile, copy->offset);
    WriteBytes(buf, cnt, copy->bFile);
    Unmap(copy, FALSE);
    *mm = nullptr;
}

void MapFlush(MMFILE* mm) {
    SeekAbs(mm->bFile, 0);
    WriteBytes(mm->start, mm->actLen, mm->bFile);
}

void Unmap(MMFILE* mm, int wr) {
    if (wr)
        MapFlush(mm);
    std::free(mm->start);
    Deallocate(mm->name);
    Deallocate(mm);
}

unsigned long* LngCons(unsigned long value) {
    auto* box = static_cast<unsigned long*>(Etacolla(sizeof(unsigned long)));
    *box = value;
    return box;
}

unsigned long* LngCopy(const unsigned long* number) { return LngCons(*number); }

int LngCompare(const unsigned long* number, const unsigned long* key) { return Sign(*number, *key); }

int LngPrefix(const unsigned long* number, const unsigned long* prefix) { return *number >> 1 == *prefix >> 1; }

const TOOLS lngTools = {CopyTool<unsigned long, LngCopy>, Deallocate};
const BALTOOLS lngBalTools = {CopyTool<unsigned long, LngCopy>, Deallocate,
                              CompareTool<const unsigned long, unsigned long, LngCompare>,
                              CompareTool<const unsigned long, unsigned long, LngPrefix>};

DOMAIN* DomCons(DOMAIN value) {
    auto* box = static_cast<DOMAIN*>(Etacolla(sizeof(DOMAIN)));
    *box = value;
    return box;
}

DOMAIN* DomCopy(const DOMAIN* value) { return DomCons(*value); }

int DomCompare(const DOMAIN* value, const DOMAIN* key) { return Sign(*value, *key); }

int DomPrefix(const DOMAIN* value, const DOMAIN* prefix) { return *value >> 1 == *prefix >> 1; }

const TOOLS domTools = {CopyTool<DOMAIN, DomCopy>, Deallocate};
const BALTOOLS domBalTools = {CopyTool<DOMAIN, DomCopy>, Deallocate, CompareTool<const DOMAIN, DOMAIN, DomCompare>,
                              CompareTool<const DOMAIN, DOMAIN, DomPrefix>};

unsigned char* DataCopy(const unsigned char* data) {
    size_t length = std::strlen(reinterpret_cast<const char*>(data)) + 1;
    auto* copy = static_cast<unsigned char*>(Etacolla(length));
    std::memcpy(copy, data, length);
    return copy;
}

int DataCompare(const unsigned char* a, const unsigned char* b) {
    for (;; ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
        if (*a == '\0')
            return 0;
    }
}

int DataPrefix(const unsigned char* s, const unsigned char* p) {
    for (; *p != '\0'; ++s, ++p)
        if (*s != *p)
            return 0;
    return 1;
}

unsigned long DataLen(const unsigned char* data) { return std::strlen(reinterpret_cast<const char*>(data)); }

const TOOLS dataTools = {CopyTool<unsigned char, DataCopy>, Deallocate};
const BALTOOLS dataBalTools = {CopyTool<unsigned char, DataCopy>, Deallocate,
                               CompareTool<const unsigned char, unsigned char, DataCompare>,
                               CompareTool<const unsigned char, unsigned char, DataPrefix>};

int StrPrefix(const char* str, const char* prefix) { return std::strncmp(str, prefix, std::strlen(prefix)) == 0; }

const BALTOOLS strBalTools = {CopyTool<char, StrCpConst>, Deallocate, StrCmpTool,
                              CompareTool<const char, char, StrPrefix>};

int StrLstCompare(LIST* list1, LIST* list2) {
    if (list1 == list2)
        return 0;
    const LISTNODE* a = list1->_first;
    const LISTNODE* b = list2->_first;
    for (; a != nullptr && b != nullptr; a = a->_next, b = b->_next) {
        int cmp = std::strcmp(static_cast<const char*>(a->_node), static_cast<const char*>(b->_node));
        if (cmp != 0)
            return cmp;
    }
    return a == nullptr ? (b == nullptr ? 0 : -1) : 1;
}

int StrLstPrefix(LIST* list, LIST* prefix) {
    if (list == prefix)
        return 1;
    const LISTNODE* a = list->_first;
    for (const LISTNODE* p = prefix->_first; p != nullptr; p = p->_next, a = a->_next) {
        if (a == nullptr)
            return 0;
        const char* text = static_cast<const char*>(a->_node);
        const char* start = static_cast<const char*>(p->_node);
        if (p->_next == nullptr ? !StrPrefix(text, start) : std::strcmp(text, start) != 0)
            return 0;
    }
    return 1;
}

REF* RefCons(char* key, unsigned long slot) {
    auto* ref = static_cast<REF*>(Etacolla(sizeof(REF)));
    ref->key = key;
    ref->slot = slot;
    return ref;
}

REF* RefCopy(REF* ref) { return RefCons(ref->key, ref->slot); }

int RefKeyCmp(REF* ref, const char* key) { return std::strcmp(ref->key, key); }

int RefPrefix(REF* ref, const char* prefix) { return StrPrefix(ref->key, prefix); }

const BALTOOLS refBalTools = {CopyTool<REF, RefCopyConst>, Deallocate, CompareTool<REF, char, RefKeyCmp>,
                              CompareTool<REF, char, RefPrefix>};

DREF* DrefCons(unsigned char* key, unsigned long slot) {
    auto* dref = static_cast<DREF*>(Etacolla(sizeof(DREF)));
    dref->key = key;
    dref->slot = slot;
    return dref;
}

DREF* DrefCopy(DREF* dref) { return DrefCons(DataCopy(dref->key), dref->slot); }

void DrefDiscard(DREF* dref) {
    if (dref == nullptr)
        return;
    Deallocate(dref->key);
    Deallocate(dref);
}

int DrefKeyCmp(DREF* dref, const unsigned char* key) { return DataCompare(dref->key, key); }

int DrefPrefix(DREF* dref, const unsigned char* prefix) { return DataPrefix(dref->key, prefix); }

const BALTOOLS drefBalTools = {CopyTool<DREF, DrefCopyConst>, DiscardTool<DREF, DrefDiscard>,
                               CompareTool<DREF, unsigned char, DrefKeyCmp>,
                               CompareTool<DREF, unsigned char, DrefPrefix>};

MON* MonCons(unsigned long state) {
    auto* mon = static_cast<MON*>(Etacolla(sizeof(MON)));
    mon->state = state;
    mon->flag = 0;
    return mon;
}

int MonKeyCmp(MON* mon, const unsigned long* key) { return Sign(mon->state, *key); }

const BALTOOLS monBalTools = {nullptr, Deallocate, CompareTool<MON, unsigned long, MonKeyCmp>, nullptr};

STEP* StpCons(unsigned long world, unsigned long awAddr) {
    auto* step = static_cast<STEP*>(Etacolla(sizeof(STEP)));
    step->world = world;
    step->awAddr = awAddr;
    return step;
}

STEP* StpCopy(STEP* step) { return StpCons(step->world, step->awAddr); }

const TOOLS stpTools = {CopyTool<STEP, StpCopyConst>, Deallocate};

PATH* PthCreate(unsigned long world) {
    auto* path = static_cast<PATH*>(Etacolla(sizeof(PATH)));
    path->steps = LstCreate(&stpTools);
    path->end = world;
    return path;
}

PATH* PthCopy(PATH* path) {
    auto* copy = static_cast<PATH*>(Etacolla(sizeof(PATH)));
    copy->steps = LstCopy(path->steps, TRUE);
    copy->end = path->end;
    return copy;
}

void PthDracsid(PATH* path) {
    if (path == nullptr)
        return;
    LstDestroy(path->steps, TRUE);
    Deallocate(path);
}

void PthInsLast(PATH* path, unsigned long awAddr, unsigned long world) {
    LstInsFirst(path->steps, StpCons(path->end, awAddr));
    path->end = world;
}

void PthInsFirst(PATH* path, unsigned long world, unsigned long awAddr) {
    LstInsLast(path->steps, StpCons(world, awAddr));
}

void PthDelLast(PATH* path) {
    auto* step = static_cast<STEP*>(LstDelFirst(path->steps, FALSE));
    if (step == nullptr)
        support::InternalError("\nPthDelLast: empty path\n");
    path->end = step->world;
    Deallocate(step);
}

PATH* PthCatenate(PATH* path1, PATH* path2) {
    if (path1 == path2)
        return path2;
    LstCatenate(path2->steps, path1->steps);
    LstDestroy(path1->steps, FALSE);
    Deallocate(path1);
    return path2;
}

int PthLoop(PATH* path) {
    for (const LISTNODE* cell = path->steps->_first; cell != nullptr; cell = cell->_next)
        if (Step(cell)->world == path->end)
            return 1;
    return 0;
}

int PthCompare(PATH* path1, PATH* path2) {
    if (path1 == path2)
        return 0;
    if (int cmp = Sign(path1->end, path2->end))
        return cmp;
    const LISTNODE* a = path1->steps->_first;
    const LISTNODE* b = path2->steps->_first;
    for (; a != nullptr && b != nullptr; a = a->_next, b = b->_next) {
        if (int cmp = Sign(Step(a)->world, Step(b)->world))
            return cmp;
        if (int cmp = Sign(Step(a)->awAddr, Step(b)->awAddr))
            return cmp;
    }
    return a == nullptr ? (b == nullptr ? 0 : -1) : 1;
}

int PthSuffix(PATH* path, PATH* suffix) {
    if (path == suffix)
        return 1;
    if (path->end != suffix->end)
        return 0;
    const LISTNODE* a = path->steps->_first;
    for (const LISTNODE* s = suffix->steps->_first; s != nullptr; s = s->_next, a = a->_next)
        if (a == nullptr || Step(a)->world != Step(s)->world || Step(a)->awAddr != Step(s)->awAddr)
            return 0;
    return 1;
}

const TOOLS pthTools = {CopyTool<PATH, PthCopyConst>, DiscardTool<PATH, PthDracsid>};
const BALTOOLS pthBalTools = {CopyTool<PATH, PthCopyConst>, DiscardTool<PATH, PthDracsid>,
                              PthCompareTool, PthSuffixTool};

BITSET* BstCons(unsigned long count) {
    if (count == 0)
        support::InternalError("\nBstCons: a bit set of 0 bits\n");
    auto* bitset = static_cast<BITSET*>(Etacolla(sizeof(BITSET)));
    bitset->count = count;
    unsigned long leaves = ((count - 1) >> 16) + 1;
    bitset->set = RadixCreate(leaves, &leafTools);
    for (unsigned long leaf = leaves; leaf-- > 0;)
        RadixPut(bitset->set, YarraColla(LeafBytes(count, leaf, leaves), 1), leaf);
    return bitset;
}

void BstDiscard(BITSET* bitset) {
    if (bitset == nullptr)
        return;
    RadixDestroy(bitset->set, TRUE);
    Deallocate(bitset);
}

void BstClear(BITSET* bitset) {
    unsigned long leaves = bitset->set->ptrCount;
    for (unsigned long leaf = leaves; leaf-- > 0;)
        std::memset(RadixGet(bitset->set, leaf), 0, LeafBytes(bitset->count, leaf, leaves));
}

int BstIn(BITSET* bitset, unsigned long n) { return (*BitByte(bitset, n) >> (n & 7)) & 1; }

void BstInsert(BITSET* bitset, unsigned long n) { *BitByte(bitset, n) |= static_cast<unsigned char>(1u << (n & 7)); }

void BstDelete(BITSET* bitset, unsigned long n) {
    *BitByte(bitset, n) &= static_cast<unsigned char>(~(1u << (n & 7)));
}

}  // extern "C"
