// The run-time layer of generated net code: states, peers, blocks and the
// trace reports that plain generation never reaches.
#include "tulrt.h"

#include <cstdio>
#include <cstring>

#include "alloc.h"

extern "C" {

STATE* StaAlloc(void) {
    return static_cast<STATE*>(YarraColla(_magNofPlaces, sizeof(MARKING*)));
}

PEER* PeeCons(unsigned trIndex, DOMAIN* values, DATATYPE* buffer, unsigned visible) {
    PEER* peer = static_cast<PEER*>(Etacolla(sizeof(PEER)));
    peer->_trIndex = trIndex;
    peer->_visible = visible;
    peer->_off = 0;
    peer->_instance = nullptr;
    peer->_buffer = nullptr;
    std::size_t n = trIndex < _ingNofTrans ? _ingNofVars[trIndex] : 0;
    if (values != nullptr && n != 0) {
        peer->_instance = static_cast<DOMAIN*>(Etacolla(n * sizeof(DOMAIN)));
        std::memcpy(peer->_instance, values, n * sizeof(DOMAIN));
    }
    if (buffer != nullptr) {
        std::size_t length = DataLen(buffer) + 1;
        peer->_buffer = static_cast<DATATYPE*>(Etacolla(length));
        std::memcpy(peer->_buffer, buffer, length);
    }
    return peer;
}

static void* PeeCopy(void* element) {
    PEER* p = static_cast<PEER*>(element);
    PEER* copy = PeeCons(p->_trIndex, p->_instance, p->_buffer, p->_visible);
    copy->_off = p->_off;
    return copy;
}

static void PeeDiscard(void* element) {
    PEER* p = static_cast<PEER*>(element);
    if (p == nullptr)
        return;
    Deallocate(p->_instance);
    Deallocate(p->_buffer);
    Deallocate(p);
}

const TOOLS peeTools = {PeeCopy, PeeDiscard};

// The on-the-fly checks never run through the generated successor
// function; a call means a net built for a mode it does not have.
static void NotHere(const char* what) {
    std::fprintf(_out, "\n");
    std::fflush(_out);
    std::fprintf(_err, "\n%s: not available in plain generation\n", what);
    std::fflush(_err);
    Abort();
}

void IllTrace(void) { NotHere("IllTrace"); }
void IllInfTrace(BOOL) { NotHere("IllInfTrace"); }
void IllDivTrace(BOOL) { NotHere("IllDivTrace"); }

static unsigned blockCount = 0;

// A block lists transition records that the tables own.
static void KeepRecord(void*) {}
static const TOOLS trnRefTools = {Pvoid, KeepRecord};

void ABlocks(unsigned count) {
    for (unsigned i = 0; _visBlock != nullptr && i < blockCount; ++i)
        if (_visBlock[i] != nullptr)
            LstDestroy(_visBlock[i], FALSE);
    Deallocate(_visBlock);
    blockCount = count;
    _visBlock = static_cast<LIST**>(YarraColla(count + 1, sizeof(LIST*)));
    _blocked = 1;
}

void SBlock(unsigned i) {
    if (i < blockCount && _visBlock[i] == nullptr)
        _visBlock[i] = LstCreate(&trnRefTools);
}

void CBlock(unsigned i) {
    if (i <= blockCount)
        _visBlock[i] = nullptr;
}

LIST* Block(unsigned i) {
    if (_visBlock == nullptr || i >= blockCount || _visBlock[i] == nullptr) {
        std::fprintf(_out, "\n");
        std::fflush(_out);
        std::fprintf(_err, "\nBlock %u was not allocated\n", i);
        std::fflush(_err);
        Abort();
    }
    return _visBlock[i];
}

void TrnABlocks(TRN* trn, unsigned count) {
    Deallocate(trn->_block);
    trn->_block = static_cast<unsigned*>(YarraColla(count, sizeof(unsigned)));
}

void TrnSBlock(TRN* trn, unsigned position, unsigned block) { trn->_block[position] = block; }

}  // extern "C"
