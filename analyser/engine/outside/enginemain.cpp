// The engine main: start-up (arguments, signals, tables, the net of
// instances, outputs, the graph file set and its start node), the
// generation over the unexpanded nodes, and the end (statistics, close).
//
// Nodes are expanded in the order of their ordinals, which is breadth-first
// order: the nodes a node's expansion stores come after every node stored
// before.  With sleep sets the nodes come from the node stack instead.
// Successors come from the generated _Followers (node contents in the
// state-string form of the instance codec) or, with -i and with every
// option that works on transition instances, from PtFollowers (node
// contents as PlcEncode writes them); header word 11 records which, so a
// continuation uses the same.
#include "enginemain.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "encode.h"
#include "fileaux.h"
#include "inst.h"
#include "internal.h"
#include "invoc.h"
#include "mark.h"
#include "mirror.h"
#include "outfile.h"
#include "plainnet.h"
#include "sigcatch.h"
#include "usage.h"

namespace engine {

namespace {

constexpr uint32_t kGeneratedPath = 0;
constexpr uint32_t kInstancePath = 1;

// The usage text without TULMPATH: the installed cfg/tulm.msg.
const char kUsage[] = TULM_USAGE_TEXT;

Options run;           // the options of the running generation
bool instancePath = false;
// The search that drives the generation.
enum class Search {
    kBreadthFirst,  // the nodes in the order of their ordinals
    kSleep,         // the nodes from the node stack of the sleep sets
    kInvisible,     // per unexpanded node a depth-first search along its invisible arrows
    kInfinite,      // the nested depth-first search for an accepting cycle of the tester
    kBuchi          // the same on the product with the Buchi automaton
};
Search search = Search::kBreadthFirst;
unsigned long cursor = 0;  // next ordinal to look at (breadth-first)

bool Number(const char* text, unsigned long max, unsigned long* value) {
    if (text == nullptr || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (*end != '\0' || v > max)
        return false;
    *value = v;
    return true;
}

char* Owned(const std::string& text) { return StrCp(text.c_str()); }

std::string WithSuffix(const std::string& base, const char* suffix) {
    char* name = FileName(base.c_str(), suffix);
    std::string result = name;
    Deallocate(name);
    return result;
}

// Every file that a run may create, write or remove: those of the graph
// (and of the second graph, whose suffixes are rotated) and those of the
// net.  None may be the table file under another name (a link): the
// graph files would be made over the tables.
void RefuseOutputsNamingTheTables(const std::string& datName) {
    static const char* const graphSuffixes[] = {"gph", "aws", "adr", "hsh", "stk", "err", "cad", "caw", "lts", "arc"};
    std::vector<std::string> outputs = {WithSuffix(run.net, "bnt"), WithSuffix(run.net, "ll_net")};
    for (const char* suffix : graphSuffixes) {
        const char rotated[4] = {suffix[1], suffix[2], suffix[0], 0};
        outputs.push_back(WithSuffix(run.graph, suffix));
        outputs.push_back(WithSuffix(run.graph, rotated));
    }
    for (const std::string& out : outputs)
        if (outfile::same_file(out, datName))
            Stop(kExitFiles, "\nThe file %s would replace the table file %s\n", out.c_str(), datName.c_str());
}

// The ZEL users' actions: one per visible transition instance, numbered by
// its running position plus 1 and named by its ZEL text; the invisible
// ones share the action "i".
void BuildActions() {
    _actList = LstCreate(nullptr);
    _iAction = static_cast<ACTION*>(YarraColla(1, sizeof(ACTION)));
    _iAction->name = StrCp("i");
    LstInsLast(_actList, _iAction);
    unsigned long total = 0;
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        total += _trnAvlset[c]->elCount;
    _arpFoldings = RadixCreate(total, nullptr);
    static unsigned long position;
    position = 0;
    for (uint32_t c = 0; c < _ingNofClasses; ++c) {
        BalTrApply(_trnAvlset[c], [](void* element) {
            TRN* trn = static_cast<TRN*>(element);
            unsigned long p = position++;
            if (!(trn->_flag & TRN_VISIBLE)) {
                RadixPut(_arpFoldings, _iAction, p);
                return 0;
            }
            char* text = nullptr;
            std::size_t size = 0;
            FILE* stream = open_memstream(&text, &size);
            InsOutput(0, trn->_key, stream, 0);
            std::fclose(stream);
            std::string line = text;
            std::free(text);
            // "0 " before the name, a newline after it.
            line = line.substr(2, line.size() - 3);
            auto* action = static_cast<ACTION*>(YarraColla(1, sizeof(ACTION)));
            action->number = static_cast<unsigned>(p + 1);
            action->name = StrCp(line.c_str());
            LstInsLast(_actList, action);
            RadixPut(_arpFoldings, action, p);
            return 0;
        });
    }
}

void ReleaseActions() {
    if (_actList != nullptr) {
        for (LISTNODE* cell = _actList->_first; cell != nullptr; cell = cell->_next) {
            auto* action = static_cast<ACTION*>(cell->_node);
            Deallocate(action->name);
            Deallocate(action);
        }
        LstDestroy(_actList, FALSE);
    }
    _actList = nullptr;
    _iAction = nullptr;
    if (_arpFoldings != nullptr)
        RadixDestroy(_arpFoldings, FALSE);
    _arpFoldings = nullptr;
}

uint32_t GenerationFlags(const Options& o) {
    uint32_t flags = 0;
    if (o.defVis)
        flags |= GF_DEFVIS;
    if (o.freeExpansion || o.elimination || o.sleep)
        flags |= GF_FREE;
    if (o.sleep)
        flags |= GF_SLEEP;
    if (o.stubborn)
        flags |= GF_STUB;
    if (o.deletion)
        flags |= GF_DELALG;
    if (o.symmetries)
        flags |= GF_SYMM;
    if (o.keepMarking)
        flags |= GF_IMKSYMM;
    if (o.cffd)
        flags |= GF_CFFD;
    // The nested searches keep their fresh bits in the nodes' check words.
    if (search == Search::kInfinite || search == Search::kBuchi)
        flags |= GF_DFS | GF_INFMON;
    return flags;
}

constexpr uint32_t kGenerationFlags =
    GF_SYMM | GF_STUB | GF_DELALG | GF_DFS | GF_FREE | GF_IMKSYMM | GF_CFFD | GF_DEFVIS | GF_SLEEP | GF_INFMON;

// The search of the run, from the options and the tester.
Search ChooseSearch() {
    if (_onTheFly & FLY_BUCHI)
        return Search::kBuchi;
    if (_onTheFly & FLY_INFINITE)
        return Search::kInfinite;
    if (run.sleep)
        return Search::kSleep;
    if (run.cffd || (_onTheFly & FLY_LIVELOCK))
        return Search::kInvisible;
    return Search::kBreadthFirst;
}

// Refusals that depend on the net.
void CheckNet() {
    bool checks = (_onTheFly & (FLY_LIVELOCK | FLY_INFINITE | FLY_BUCHI)) != 0;
    // The nested searches keep their paths in memory only.
    if (run.cont && (search == Search::kInfinite || search == Search::kBuchi))
        Stop(kExitFiles,
             "\nThe search for illegal infinite paths of %s cannot be continued: start it again without -c\n",
             run.net.c_str());
    if (run.sleep && (run.cffd || checks))
        Stop(kExitNotBuilt,
             "\nSleep sets work without CFFD and without the tester's livelock, infinite-path\n"
             "and Buchi checks; %s has %s\n",
             run.net.c_str(), run.cffd ? "-F" : "such a tester");
    if (run.elimination && (_onTheFly & (FLY_INFINITE | FLY_BUCHI)))
        Stop(kExitNotBuilt, "\nElimination works without the infinite-path and Buchi checks of the tester of %s\n",
             run.net.c_str());
    if (_ingNofClasses > 1 && instancePath && (run.sleep || run.elimination || run.stubborn || _onTheFly != 0))
        Stop(kExitNotBuilt,
             "\nStubborn sets, sleep sets, elimination and the tester's checks work on nets of one\n"
             "precedence class; %s has %u\n",
             run.net.c_str(), static_cast<unsigned>(_ingNofClasses));
}

uint32_t StoreStart(GRAPH* graph, STATE* initial) {
    unsigned length = instancePath ? PlcEncode(_tblPlc, &_engBuffer, &_engBfSize)
                                   : static_cast<unsigned>(StaEncode(initial, &_engBuffer, &_engBfSize));
    return GphPutNode(graph, _engBuffer, length, &_back);
}

// The Buchi search with stubborn sets keeps the reduced graph of the net
// alone in a second graph (rotated suffixes); its nodes are the markings
// with the Buchi state place empty, its start the initial one.
void StartSecondGraph(const char* name, uint32_t flags) {
    char* base = StrCp(name);
    uint32_t second = (flags & ~(GF_DFS | GF_INFMON)) | GF_ROTATED | GF_CFFD;
    _graph[1] = GphCreate(base, second, run.hashSize, run.seed);
    Deallocate(base);
    if (_graph[1] == nullptr)
        Exit(kExitFiles);
    _graph[1]->glob[GW_ENGINE] = kInstancePath;
    if (run.memory != 0)
        GphMapToMem(_graph[1], run.memory);
    PLC* state = _ptFlyPlc;
    unsigned long count = state != nullptr ? state->_count : 0;
    if (state != nullptr)
        state->_count = 0;
    unsigned length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    GphPutNode(_graph[1], _engBuffer, length, &_back);
    if (state != nullptr)
        state->_count = count;
    PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
}

// Whether node contents read back from a continued graph are what the
// decoders expect: a state string of every place of the tables (generated
// successors), or place slots of the tables each with an optional
// count (instance level).  Damaged files must not lead the decoders past
// the contents.
bool StateStringOk(const unsigned char* p, const unsigned char* end) {
    uint32_t value = 0;
    for (uint32_t place = 0; place < _magNofPlaces; ++place) {
        while (p < end && *p != NUM_END_PLACE) {
            uint32_t arity = _magProfile[place];
            if (*p == NUM_ARITY && (++p, !NumScan(&p, end, &arity) || arity > static_cast<unsigned long>(end - p)))
                return false;
            for (uint32_t k = 0; k < (arity == 0 ? 1 : arity); ++k)
                if (!NumScan(&p, end, &value))
                    return false;
            if (arity != 0 && p < end && *p == NUM_COUNT && (++p, !NumScan(&p, end, &value)))
                return false;
        }
        if (p == end)
            return false;
        ++p;
    }
    return p == end;
}

bool PlaceSlotsOk(const unsigned char* p, const unsigned char* end) {
    uint32_t slot = 0, value = 0;
    while (p < end) {
        if (!NumScan(&p, end, &slot) || slot >= _tblPlc->ptrCount)
            return false;
        if (p < end && *p == NUM_COUNT && (++p, !NumScan(&p, end, &value)))
            return false;
    }
    return true;
}

// The contents of a node about to be decoded; a continued graph's node is
// checked first, and damage ends the run as an unusable graph file.
unsigned char* Contents(GRAPH* graph, uint32_t node) {
    unsigned char* contents = GphNode(graph, node);
    if (run.cont) {
        const unsigned char* end = contents + std::strlen(reinterpret_cast<char*>(contents));
        if (!(instancePath ? PlaceSlotsOk(contents, end) : StateStringOk(contents, end)))
            Stop(kExitFiles, "\nThe files of graph %s are damaged: node %lu cannot be decoded\n", graph->name,
                 static_cast<unsigned long>(GphOrdinal(graph, node)));
    }
    return contents;
}

void ExpandGenerated(GRAPH* graph, uint32_t node) {
    _state = _magNofPlaces != 0 ? static_cast<STATE*>(Etacolla(_magNofPlaces * sizeof(MARKING*))) : nullptr;
    StaDecode(Contents(graph, node), _state);
    _path[0]->end = node;
    _path[3] = _path[0];
    _awCount = 0;
    _awFirst = TULM_NONE;
    _Followers();
    if (_awCount == 0)
        GphAddTermNode(graph, node);
    else
        GphUpdate(graph, node, _awCount, _awFirst, nullptr);
    GphIncGenCount(graph);
    if (_dots)
        DotOutput();
    StaDiscard(_state);
    _state = nullptr;
}

void ExpandInstances(GRAPH* graph, uint32_t node) {
    PlcDecode(Contents(graph, node));
    _path[0]->end = node;
    PtFollowers();
}

// Between two nodes: an interrupt closes the graph for a continuation, a
// terminal stop suspends the process.
void Signals(GRAPH* graph) {
    if (!continueGeneration) {
        Interrupt();
        Exit(kExitInterrupted);
    }
    if (stopFlag) {
        GphFlush(graph);
        std::fflush(_out);
        std::fflush(_err);
        Suspend();
        stopFlag = 0;
        SetSigHandlers();
    }
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
    *o = Options();
    auto value = [&](int* i, const char* arg) -> const char* {
        if (arg[2] != '\0')
            return arg + 2;
        if (*i + 1 < argc)
            return argv[++*i];
        return nullptr;
    };
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') {
            if (!o->net.empty()) {
                *error = std::string("a second net name: ") + arg;
                return false;
            }
            o->net = arg;
            continue;
        }
        char letter = arg[1];
        bool flag = arg[2] == '\0';
        unsigned long n = 0;
        const char* v = nullptr;
        switch (letter) {
        case 'b': o->keys = true; break;
        case 'c': o->cont = true; break;
        case 'C': o->components = true; break;
        case 'd': o->dots = true; break;
        case 'e': o->elimination = true; break;
        case 'f': o->freeExpansion = true; break;
        case 'i': o->instances = true; break;
        case 'l': o->sleep = true; break;
        case 'n': o->vos = true; break;
        case 'v': o->defVis = true; break;
        case 'z': o->zel = true; break;
        case 'Z': o->zelUsers = true; break;
        case 's': o->stubborn = true; break;
        case 'D': o->deletion = true; break;
        case 'L': o->lazy = true; break;
        case 'T': o->tryAgain = true; break;
        case 'S': o->symmetries = true; break;
        case 'M': o->keepMarking = true; break;
        case 'F': o->cffd = true; break;
        case 'R': o->trRandom = true; break;
        case 'P': o->plRandom = true; break;
        case 'V':
            if (!Number(value(&i, arg), 3, &n)) {
                *error = "-V needs a level from 0 to 3";
                return false;
            }
            o->verbose = static_cast<unsigned>(n);
            flag = true;
            break;
        case 'g':
            v = value(&i, arg);
            if (v == nullptr || *v == '\0') {
                *error = "-g needs a graph name";
                return false;
            }
            o->graph = v;
            flag = true;
            break;
        case 'h':
            if (!Number(value(&i, arg), kMaxHashSlots, &n) || n == 0) {
                *error = "-h needs a number of hash slots from 1 to 4194304";
                return false;
            }
            o->hashSize = static_cast<uint32_t>(n);
            flag = true;
            break;
        case 'm':
            if (!Number(value(&i, arg), 1UL << 40, &n)) {
                *error = "-m needs a number of bytes";
                return false;
            }
            o->memory = n;
            flag = true;
            break;
        case 'r':
            if (!Number(value(&i, arg), 0xFFFFFFFFul, &n)) {
                *error = "-r needs a seed from 0 to 4294967295";
                return false;
            }
            o->seed = static_cast<uint32_t>(n);
            flag = true;
            break;
        default: *error = std::string("unknown option ") + arg; return false;
        }
        if (!flag) {
            *error = std::string("unknown option ") + arg;
            return false;
        }
    }
    if (o->net.empty()) {
        *error = "no net name";
        return false;
    }
    if (o->graph.empty())
        o->graph = o->net;
    o->deletion = o->deletion || o->tryAgain;
    o->stubborn = o->stubborn || o->deletion || o->lazy || o->cffd;
    o->symmetries = o->symmetries || o->keepMarking;
    if (o->zel && o->zelUsers) {
        *error = "-z and -Z write the same LTS file: choose one";
        return false;
    }
    if (o->cont && o->zel) {
        *error = "-z needs the whole generation: it cannot continue one";
        return false;
    }
    return true;
}

void Start(const Options& options) {
    run = options;
    _dots = run.dots;
    _elimination = run.elimination;
    _ptDefVis = run.defVis;
    _ptSleep = run.sleep;
    // The records of the transitions take the union of the mode.
    _ptStub = run.stubborn;
    _ptDelAlg = run.deletion;
    _ptLazy = run.lazy;
    _ptTryAgain = run.tryAgain;
    _ptSy = run.symmetries;
    _plcIMkSymm = run.keepMarking;
    _ptCFFD = run.cffd;
    _trRnd = run.trRandom;
    _plRnd = run.plRandom;
    _ptVerbose = run.verbose;
    _zel = run.zel;
    _vos = run.vos;
    _zelTulm = run.zelUsers;

    std::string datName = WithSuffix(run.net, "dat");
    RefuseOutputsNamingTheTables(datName);
    BINARYFILE dat = OpenRead(datName.c_str(), 1);
    if (dat < 0)
        Exit(kExitFiles);
    if (SeekEnd(dat) < 4)
        Stop(kExitFiles, "\nThe table file %s is empty\n", datName.c_str());
    SeekAbs(dat, 0);
    unsigned char word[4];
    ReadBytes(word, 4, dat);
    unsigned long names = GetWord(word);
    InsReadTables(dat, TRUE);
    _onTheFly = _monPlInd != TULM_NONE ? FLY_TESTER : 0;
    STATE* initial = InsReadMarking(dat);
    SeekAbs(dat, insMarkingOffset);
    PtInit(dat);
    // The names: of the transitions for the LTS and the ZEL users' actions,
    // of the places too for the net file.  GetPlaNames reads past the
    // transition names itself unless _zel or _vos is set.
    if (_vos || _zel || _zelTulm) {
        SeekAbs(dat, names);
        GetZelNames(dat);
        if (_vos || _zel)
            GetPlaNames(dat);
    }
    // The printed symmetries name the places.
    if (_ptSy && _ptVerbose != 0 && !_vos && !_zel) {
        SeekAbs(dat, names);
        GetPlaNames(dat);
    }
    OwnClose(dat);
    search = ChooseSearch();
    // The reductions and checks work on the transition instances.
    instancePath = run.instances || run.elimination || run.sleep || run.stubborn || run.symmetries ||
                   search != Search::kBreadthFirst;
    _freeExpansion = (GenerationFlags(run) & GF_FREE) != 0;
    // The Buchi search reduces the net's own graph so that the product
    // keeps the formula's verdict.
    if (search == Search::kBuchi && _ptStub)
        _ptCFFD = 1;
    CheckNet();

    _buchiOK = _BuchiOK;
    _CompInst();
    _CompPrec();
    if (run.keys) {
        std::string keyName = WithSuffix(run.net, "bnt");
        BINARYFILE file = CreateWrite(keyName.c_str());
        if (file < 0)
            Exit(kExitFiles);
        PtOutput(file);
        OwnClose(file);
    }
    PlcFill();
    if (_vos) {
        char* base = Owned(run.net);
        PtVosOutput(base);
        Deallocate(base);
    }
    if (_zel) {
        char* base = Owned(run.graph);
        LTSBegin(base, 0);
        Deallocate(base);
        PtZelOutput();
    }
    if (_zelTulm)
        BuildActions();
    TrnFill();
    if (_ptSy)
        CompSymm(1);

    char* graphName = Owned(run.graph);
    uint32_t flags = GenerationFlags(run);
    uint32_t path = instancePath ? kInstancePath : kGeneratedPath;
    GRAPH* graph;
    if (!run.cont) {
        graph = GphCreate(graphName, flags, run.hashSize, run.seed);
        if (graph == nullptr)
            Exit(kExitFiles);
        graph->glob[GW_ENGINE] = path;
        PtSRandom(run.seed);
    } else {
        graph = GphOpen(graphName, 0, 0);
        if (graph == nullptr)
            Exit(kExitFiles);
        // A graph is created with its start node, so one without is damaged.
        if (graph->glob[GW_NODES] == 0)
            Stop(kExitFiles, "\nThe files of graph %s are damaged: it holds no node\n", graphName);
        if ((graph->glob[GW_FLAGS] & kGenerationFlags) != flags || graph->glob[GW_ENGINE] != path)
            Stop(kExitFiles, "\nGraph %s was generated with other options: give the same ones to continue it\n",
                 graphName);
        PtSRandom(GphSeed(graph));
    }
    Deallocate(graphName);
    _graph[0] = graph;
    if (run.memory != 0)
        GphMapToMem(graph, run.memory);
    // The continued generation reads the stored records back.
    if (run.cont)
        if (const char* damage = RecordDamage(graph))
            Stop(kExitFiles, "\nThe files of graph %s are damaged: %s\n", run.graph.c_str(), damage);
    _path[0] = PthCreate(TULM_NONE);
    _path[3] = _path[0];
    _nodeTree = BalTrCreate(&lngBalTools);
    cursor = 0;
    if (!run.cont) {
        uint32_t start = StoreStart(graph, initial);
        if (run.sleep)
            GphPush(graph, start, nullptr);
        // The start node is a new state too: the tester's verdicts apply.
        if (instancePath && _ptFlyPlc != nullptr) {
            _path[0]->end = start;
            if (_ptFlyPlc->_flag & PLC_REJECT)
                PtC1(TULM_NONE, start);
            if (_ptFlyPlc->_flag & PLC_DEADLOCK)
                PtC2(TULM_NONE, start);
        }
        if (search == Search::kInfinite || search == Search::kBuchi) {
            _path[1] = PthCreate(start);
            _path[2] = PthCreate(start);
            if (search == Search::kBuchi && _ptStub)
                StartSecondGraph(run.graph.c_str(), flags);
        }
    }
    StaDiscard(initial);
}

bool Generate(unsigned long maxNodes) {
    GRAPH* graph = _graph[0];
    unsigned long expanded = 0;
    switch (search) {
    case Search::kSleep:
        for (;;) {
            if (maxNodes != 0 && expanded == maxNodes)
                return false;
            Signals(graph);
            unsigned long node = 0;
            AVLSET* sleepSet = nullptr;
            if (!GphPop(graph, &node, &sleepSet)) {
                graph->glob[GW_STACKDONE] = TULM_NONE;
                return true;
            }
            _ptSlpSet[0] = sleepSet;
            _ptSlpSet[1] = GphSleepSet(graph, node);
            ExpandInstances(graph, static_cast<uint32_t>(node));
            ++expanded;
        }
    case Search::kInfinite:
    case Search::kBuchi:
        // One outer step per call, until the outer path is done.
        while (_path[1]->end != TULM_NONE) {
            if (maxNodes != 0 && expanded == maxNodes)
                return false;
            Signals(graph);
            if (search == Search::kInfinite)
                PtInfinite();
            else
                PtBuchi();
            ++expanded;
        }
        return true;
    case Search::kBreadthFirst:
    case Search::kInvisible:
        break;
    }
    while (cursor < graph->glob[GW_NODES]) {
        uint32_t node = GphId(graph, cursor);
        // A node that a chain of forced steps or a search along invisible
        // arrows has expanded already.
        if (GphAwCount(graph, node) != TULM_NONE) {
            ++cursor;
            continue;
        }
        if (maxNodes != 0 && expanded == maxNodes)
            return false;
        Signals(graph);
        if (search == Search::kInvisible) {
            PlcDecode(Contents(graph, node));
            PthDracsid(_path[0]);
            _path[0] = PthCreate(node);
            if (_onTheFly & FLY_LIVELOCK)
                PtOnTheFly();
            else
                PtProCFFD();
        } else if (instancePath) {
            ExpandInstances(graph, node);
        } else {
            ExpandGenerated(graph, node);
        }
        ++cursor;
        ++expanded;
    }
    return true;
}

void Interrupt() {
    GRAPH* graph = _graph[0];
    GphSetSeed(graph, PtTerm());
    if (_zel)
        LTSEnd();
    std::fprintf(_err, "\nGraph generation interrupted: continue it with -c\n");
    std::fflush(_err);
    GphClose(graph);
    if (_graph[1] != nullptr)
        GphClose(_graph[1]);
}

void Finish() {
    GRAPH* graph = _graph[0];
    if (_zel)
        LTSEnd();
    if (_dots)
        std::fputs("\n", _out);
    GphStatistics(graph, _out);
    std::fflush(_out);
    GphClose(graph);
    if (_graph[1] != nullptr)
        GphClose(_graph[1]);
}

void Release() {
    for (GRAPH* graph : _graph)
        if (graph != nullptr)
            GphClose(graph);
    // _path[3] follows one of the others.
    for (int k = 0; k < 3; ++k)
        if (_path[k] != nullptr)
            PthDracsid(_path[k]);
    for (PATH*& path : _path)
        path = nullptr;
    if (_nodeTree != nullptr)
        BalTrDestroy(_nodeTree, TRUE);
    _nodeTree = nullptr;
    PtRelease();
    ReleaseActions();
    DelZelNames(1);
    DelPlaNames();
    Deallocate(_engBuffer);
    _engBuffer = nullptr;
    _engBfSize = 0;
    _onTheFly = 0;
    _zel = _vos = _zelTulm = 0;
    _dots = _freeExpansion = _elimination = 0;
    _ptSleep = _ptDefVis = 0;
    PtReleaseReductions();
    _ptStub = _ptDelAlg = _ptLazy = _ptTryAgain = _ptSy = _plcIMkSymm = _ptCFFD = _trRnd = _plRnd = 0;
    _ptVerbose = 0;
    search = Search::kBreadthFirst;
}

}  // namespace engine

extern "C" int EngineMain(int argc, char** argv) {
    IoInit();
    baseName = "tulm";
    myName = Invoc(argv[0]);
    int n = argc;
    char** args = argv;
    ExpArgs(argc, argv, &n, &args);
    engine::Options options;
    std::string error;
    if (!engine::ParseOptions(n, args, &options, &error)) {
        std::fprintf(_err, "\n%s: %s\n", myName, error.c_str());
        MsgExit(engine::kUsage, engine::kExitUsage);
    }
    if (options.components) {
        char* name = StrCp(options.graph.c_str());
        GRAPH* graph = GphOpen(name, 1, 0);
        Deallocate(name);
        if (graph == nullptr)
            return engine::kExitFiles;
        GphMapToMem(graph, 0);
        if (const char* damage = engine::RecordDamage(graph)) {
            std::fprintf(_err, "\nThe files of graph %s are damaged: %s\n", options.graph.c_str(), damage);
            std::fflush(_err);
            GphClose(graph);
            return engine::kExitFiles;
        }
        GphSgSearch(graph);
        GphStatistics(graph, _out);
        std::fflush(_out);
        GphClose(graph);
        return engine::kExitDone;
    }
    IgnoreSignals();
    SetSigHandlers();
    engine::Start(options);
    engine::Generate(0);
    engine::Finish();
    return engine::kExitDone;
}
