// The globals that the engine main owns and the engine modules and the
// generated code share, and the engine's internal-error exits.
#include <cstdarg>
#include <cstdio>

#include "alloc.h"
#include "internal.h"
#include "plainnet.h"

unsigned char* _engBuffer = nullptr;
unsigned _engBfSize = 0;
unsigned long _back = NEW_NODE;
PATH* _path[4] = {nullptr, nullptr, nullptr, nullptr};
AVLSET* _nodeTree = nullptr;
STATE* _evalState = nullptr;
STATE* _state = nullptr;
STATE* _folState = nullptr;
int _dots = 0;
int _freeExpansion = 0;
int _elimination = 0;
FILE* _zelFile = nullptr;
FILE* _zelArcFile = nullptr;
AVLSET* _zelTree = nullptr;
FILE* _vosFile = nullptr;
LIST* _actList = nullptr;
ACTION* _iAction = nullptr;

void engine::Fail(const char* format, ...) {
    std::fputs("\n", _out);
    std::fflush(_out);
    va_list args;
    va_start(args, format);
    std::vfprintf(_err, format, args);
    va_end(args);
    std::fflush(_err);
    Abort();
}

void engine::Stop(int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(_err, format, args);
    va_end(args);
    std::fflush(_err);
    Exit(status);
}
