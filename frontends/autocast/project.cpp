#include "project.h"

#include <cstdio>
#include <memory>

#include "failure.h"
#include "textreader.h"

namespace autocast {

bool read_file_text(const std::string& path, std::string& text) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return false;
    text.clear();
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, n);
    return std::ferror(f.get()) == 0;
}

Project parse_project(std::string text) {
    Project project;
    TextReader r(std::move(text));
    for (const char* word : {"VOS", "PROJECT_vosPFA", "VAR"}) {
        r.skip_separators();
        r.keyword(word);
    }
    // The VAR text runs from its first token up to the start of the first
    // line that, after blank and comment lines, begins with "FA".
    r.skip_separators();
    const std::size_t start = r.position();
    std::size_t cut = start;
    while (!r.begins_with("FA")) {
        r.rest_of_line();
        r.newline();
        cut = r.position();
        r.skip_separators();
    }
    project.var_text = r.text().substr(start, cut - start);
    r.keyword("FA");
    r.skip_separators();
    for (;;) {
        project.automata.push_back(r.rest_of_line());
        if (r.at_end()) break;
        r.newline();
        r.skip_separators();
    }
    return project;
}

Project read_project(const std::string& path) {
    std::string text;
    if (!read_file_text(path, text))
        throw Failure(EXIT_FAILURE_STATUS, format("could not open project file %s\n", path.c_str()));
    try {
        return parse_project(std::move(text));
    } catch (const FormatError& e) {
        throw Failure(EXIT_FAILURE_STATUS, format("project file: error at line number %d", e.line));
    }
}

}  // namespace autocast
