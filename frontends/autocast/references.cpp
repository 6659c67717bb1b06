#include "references.h"

#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

#include "failure.h"
#include "mnet_hlnet.h"
#include "mnet_textform.h"
#include "outfile.h"

namespace autocast {

namespace {

struct RecordInfo {
    std::uint16_t object = 0;
    std::string name;
};

struct Registry {
    std::vector<std::unique_ptr<mnet::RefRecord>> records;
    std::unordered_map<const mnet::RefRecord*, RecordInfo> info;
};

Registry& registry() {
    static Registry r;
    return r;
}

const RecordInfo* info_of(const mnet::RefRecord* record) {
    auto it = registry().info.find(record);
    return it == registry().info.end() ? nullptr : &it->second;
}

void write_element_refs(std::FILE* f, const char* prefix, std::uint32_t number,
                        const std::vector<mnet::RefEntry>& refs) {
    if (refs.empty()) return;
    std::fprintf(f, "%s%u T\"", prefix, number);
    for (std::size_t i = 0; i < refs.size(); ++i)
        std::fprintf(f, "%s%u:%u", i ? "*" : "", refs[i].number, refs[i].decoration);
    std::fputs("\"\n", f);
}

}  // namespace

mnet::RefRecord* new_record(std::uint8_t kind, const std::string& name) {
    auto record = std::make_unique<mnet::RefRecord>();
    record->kind = kind;
    mnet::RefRecord* r = record.get();
    registry().records.push_back(std::move(record));
    if (!name.empty()) set_record_name(r, name);
    return r;
}

std::uint16_t new_ref_code(mnet::RefRecord* record) {
    // In synchronise mode the table enters the record even when an equal
    // one is there.
    const std::uint8_t byte1 = mnet::MNetOptions[1];
    mnet::MNetOptions[1] |= mnet::OPT1_SOURCE_NET;
    const std::uint16_t r = mnet::ref_code(record);
    mnet::MNetOptions[1] = byte1;
    return r;
}

void set_object_number(const mnet::RefRecord* record, std::uint16_t number) {
    registry().info[record].object = number;
}

std::uint16_t object_number(const mnet::RefRecord* record) {
    const RecordInfo* i = info_of(record);
    return i ? i->object : 0;
}

void set_record_name(const mnet::RefRecord* record, const std::string& name) { registry().info[record].name = name; }

void reset_references() {
    registry().info.clear();
    registry().records.clear();
}

void write_pfa_references(mnet::MNet* net, const std::string& path) {
    std::FILE* f = outfile::open(path, "w");
    if (!f) throw Failure(EXIT_UNWRITABLE, format("could not open file %s for writing", path.c_str()));
    std::printf("Writing references to file %s...\n", path.c_str());
    std::fputs("VOS\nReferences_PFA_HL\nFORMAT_N2\nDEF\n", f);
    for (std::uint32_t n = 1; n <= 65535; ++n) {
        const mnet::RefRecord* r = mnet::ref_get(static_cast<std::uint16_t>(n));
        if (!r) break;
        std::fprintf(f, "%u \"%u\"", n, object_number(r));
        const RecordInfo* info = info_of(r);
        const std::string name = info ? info->name : std::string();
        auto source_text = [&] {
            std::fputc('b', f);
            mnet::write_quoted(f, mnet::source_ref_text(static_cast<std::uint16_t>(n), 0));
        };
        switch (r->kind) {
        case KIND_VARIABLE:
            std::fputc('V', f);
            mnet::write_quoted(f, mnet::valueset_text(r->range));
            source_text();
            break;
        case KIND_CHANNEL:
        case KIND_STACK:
            std::fputc(r->kind == KIND_CHANNEL ? 'C' : 'S', f);
            mnet::write_quoted(f, format("{%d}", r->capacity) + mnet::valueset_text(r->range));
            source_text();
            break;
        case KIND_AUTOMATON:
            std::fputs("E\"0\"b", f);
            mnet::write_quoted(f, name);
            break;
        case KIND_STATE:
            std::fputs("Kb", f);
            mnet::write_quoted(f, name);
            break;
        case KIND_ACTION:
            std::fputc('A', f);
            source_text();
            break;
        default: break;
        }
        std::fputc('\n', f);
    }
    if (mnet::blocks_in_output()) {
        std::fputs("BL\n", f);
        for (const mnet::MBlock* b = net->first_block; b; b = b->next) {
            const mnet::BlockInfo* info = mnet::get_block(b->number);
            std::fprintf(f, "B%u T\"%u:0\"\n", b->number, info ? info->reference : 0u);
        }
    }
    // Numbered as the net file numbers them.
    std::uint32_t k = 0;
    for (mnet::MPlace* p = net->first_place; p; p = p->next) p->number = ++k;
    k = 0;
    for (mnet::MTransition* t = net->first_trans; t; t = t->next) t->number = ++k;
    k = 0;
    for (mnet::MTransition* t = net->first_phantom; t; t = t->next) t->number = ++k;
    std::fputs("PL\n", f);
    for (const mnet::MPlace* p = net->first_place; p; p = p->next) write_element_refs(f, "P", p->number, p->refs);
    std::fputs("TR\n", f);
    for (const mnet::MTransition* t = net->first_trans; t; t = t->next)
        write_element_refs(f, "T", t->number, t->refs);
    if (mnet::phantoms_in_output()) {
        std::fputs("PTR\n", f);
        for (const mnet::MTransition* t = net->first_phantom; t; t = t->next)
            write_element_refs(f, "PT", t->number, t->refs);
    }
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed)
        throw Failure(EXIT_UNWRITABLE, format("could not write file %s\n", path.c_str()));
}

}  // namespace autocast
