// Program name, argument macros and usage text.
#include "invoc.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "dynam.h"
#include "internal.h"

const char* myName = "";
const char* baseName = "";

namespace {

// Joins a directory and a name with exactly one '/' between them.
std::string Join(const char* dir, const char* name) {
    if (dir == nullptr || *dir == '\0')
        return name;
    size_t length = std::strlen(dir);
    bool dirSlash = dir[length - 1] == '/';
    bool nameSlash = name[0] == '/';
    if (dirSlash && nameSlash)
        return std::string(dir) + (name + 1);
    if (dirSlash || nameSlash)
        return std::string(dir) + name;
    return std::string(dir) + '/' + name;
}

FILE* CannotOpen(const std::string& name) {
    std::fprintf(_err, "\nCannot open file %s for reading\n", name.c_str());
    ErrnoOutput(_err);
    ClearErrno();
    return nullptr;
}

// The lines of a text file, each read by BruteReadln (a last line without
// a newline included, with one); calls line(text) per line.
template <typename F>
void ForEachLine(FILE* file, F line) {
    unsigned size = 8192;
    char* buffer = static_cast<char*>(Etacolla(size));
    for (;;) {
        int more = BruteReadln(&buffer, &size, file);
        if (buffer[0] != '\0')
            line(buffer);
        if (!more)
            break;
    }
    Deallocate(buffer);
}

}  // namespace

extern "C" {

char* Invoc(const char* name) {
    const char* slash = std::strrchr(name, '/');
    return StrCp(slash != nullptr ? slash + 1 : name);
}

FILE* OpenText(const char* subdir, const char* name, int skip, int pseudo) {
    if (name == nullptr)
        support::InternalError("\nNo name in OpenText\n");
    const char* mode = pseudo ? "rb" : "r";
    std::string first = Join(subdir, name);
    if (!skip) {
        FILE* file = std::fopen(first.c_str(), mode);
        if (file != nullptr)
            return file;
        if (!FileNotFoundErrno())
            return CannotOpen(first);
    }
    const char* dir = std::getenv("TULMPATH");
    if (dir == nullptr || *dir == '\0') {
        if (!skip)
            return CannotOpen(first);
        dir = nullptr;
    }
    std::string second = Join(dir, first.c_str());
    FILE* file = std::fopen(second.c_str(), mode);
    return file != nullptr ? file : CannotOpen(second);
}

void ExpArgs(int _argc_, char** _argv_, int* argc, char*** argv) {
    *argc = _argc_;
    *argv = _argv_;
    if (_argc_ <= 1)
        return;
    std::string fileName = std::string(baseName) + ".cfg";
    FILE* file = OpenText("cfg", fileName.c_str(), 1, 0);
    if (file == nullptr)
        return;
    // Per argument: replaced or not, and its words.
    std::vector<bool> replaced(static_cast<size_t>(_argc_), false);
    std::vector<std::vector<char*>> words(static_cast<size_t>(_argc_));
    bool any = false;
    ForEachLine(file, [&](char* line) {
        if (char* comment = std::strchr(line, '#'))
            *comment = '\0';
        std::vector<std::string> fields;
        for (char* p = line; *p != '\0';) {
            while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)))
                ++p;
            char* start = p;
            while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p)))
                ++p;
            if (p > start)
                fields.emplace_back(start, p);
        }
        if (fields.empty())
            return;
        std::string option = "--" + fields[0];
        for (int i = 1; i < _argc_; ++i) {
            if (replaced[i] || option != _argv_[i])
                continue;
            replaced[i] = true;
            any = true;
            for (size_t k = 1; k < fields.size(); ++k)
                words[i].push_back(StrCp(fields[k].c_str()));
        }
    });
    std::fclose(file);
    if (!any)
        return;
    size_t count = 1;
    for (int i = 1; i < _argc_; ++i)
        count += replaced[i] ? words[i].size() : 1;
    auto** vector = static_cast<char**>(Etacolla((count + 1) * sizeof(char*)));
    size_t at = 0;
    vector[at++] = _argv_[0];
    for (int i = 1; i < _argc_; ++i) {
        if (!replaced[i])
            vector[at++] = _argv_[i];
        else
            for (char* word : words[i])
                vector[at++] = word;
    }
    vector[at] = nullptr;
    *argc = static_cast<int>(count);
    *argv = vector;
}

void MsgExit(const char* escOptions, int status) {
    std::string fileName = std::string(baseName) + ".msg";
    FILE* file = OpenText("cfg", fileName.c_str(), 1, 0);
    std::fprintf(_err, "\nUsage:  %s ", myName);
    if (file != nullptr) {
        ForEachLine(file, [](char* line) { std::fputs(line, _err); });
        std::fclose(file);
    } else {
        std::fputs(escOptions, _err);
        std::fputs("\n", _err);
    }
    std::fflush(_err);
    Exit(status);
}

}  // extern "C"
