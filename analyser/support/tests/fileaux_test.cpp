// Binary files and in-memory copies against plain file contents, element
// tools, paths and bit sets.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
#include "fileaux.h"
#include "petri_test.h"
#include "testutil.h"

using testsupport::read_file;
using supporttest::RunChild;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

std::string ErrnoLine(int value) { return "Errno " + std::to_string(value) + ": " + std::strerror(value) + "\n"; }

std::string RandomBytes(std::mt19937& random, size_t count) {
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

unsigned char* Bytes(const char* text) { return reinterpret_cast<unsigned char*>(const_cast<char*>(text)); }

}  // namespace

TEST(FileAux, BinaryFilesAgreeWithTheirContents) {
    TempDir dir;
    std::string name = dir.file("data");
    std::mt19937 random(13);
    BINARYFILE file = CreateUpdate(name.c_str());
    ASSERT_GE(file, 0);
    std::string model;
    unsigned long position = 0;
    for (int step = 0; step < 200; ++step) {
        int op = static_cast<int>(random() % 3);
        if (op == 0) {
            std::string bytes = RandomBytes(random, random() % 3 == 0 ? random() % 30000 : random() % 100);
            WriteBytes(bytes.data(), bytes.size(), file);
            if (model.size() < position + bytes.size())
                model.resize(position + bytes.size());
            model.replace(position, bytes.size(), bytes);
            position += bytes.size();
        } else if (op == 1) {
            position = random() % (model.size() + 1);
            SeekAbs(file, position);
        } else {
            unsigned long count = random() % (model.size() - position + 1);
            std::string bytes(count, '\0');
            ReadBytes(bytes.data(), count, file);
            ASSERT_EQ(bytes, model.substr(position, count));
            position += count;
        }
    }
    ASSERT_EQ(SeekEnd(file), model.size());
    EXPECT_EQ(OwnClose(file), 0);
    EXPECT_EQ(read_file(name), model);

    // The other opening modes.
    file = OpenUpdate(name.c_str());
    WriteBytes("xy", 2, file);
    OwnClose(file);
    file = OpenRead(name.c_str(), TRUE);
    char two[2];
    ReadBytes(two, 2, file);
    EXPECT_EQ(std::string(two, 2), "xy");
    ReadBytes(two, 0, file);
    OwnClose(file);
    file = CreateWrite(name.c_str());
    WriteBytes("", 0, file);
    OwnClose(file);
    EXPECT_EQ(read_file(name), "");
}

TEST(FileAux, OpeningFailuresAreReportedAndReturned) {
    TempDir dir;
    auto run = RunChild([&] {
        std::string missing = dir.file("none/x");
        int results[] = {CreateUpdate(missing.c_str()), CreateWrite(missing.c_str()),
                         OpenRead(missing.c_str(), TRUE), OpenRead(missing.c_str(), FALSE),
                         OpenUpdate(missing.c_str()), OwnClose(9999)};
        for (int r : results)
            std::fprintf(_out, "%d %d;", r, Errno());
    });
    std::string m = dir.file("none/x");
    std::string e = ErrnoLine(ENOENT);
    EXPECT_EQ(run.out, "-1 0;-1 0;-1 0;-1 0;-1 0;-1 0;");
    EXPECT_EQ(run.err, "\nCannot open empty file " + m + " for reading and writing\n" + e +
                           "\nCannot open empty file " + m + " for writing\n" + e + "\nCannot open file " + m +
                           " for reading\n" + e + "\nCannot open file " + m + " for updating\n" + e +
                           "\nOwnClose: close(9999) returned -1\n" + ErrnoLine(EBADF));
}

TEST(FileAux, TransferAndSeekFailuresEndTheProcess) {
    TempDir dir;
    std::string name = dir.file("short");
    write_file(name, std::string(16384, 'a'));
    // 20000 bytes go as 8192, 8192 and 3616: the third read meets the end.
    auto shortRead = RunChild([&] {
        BINARYFILE file = OpenRead(name.c_str(), TRUE);
        std::vector<char> buffer(20000);
        ReadBytes(buffer.data(), 20000, file);
    });
    EXPECT_EQ(shortRead.signal, SIGABRT);
    EXPECT_EQ(shortRead.out, "\n");
    EXPECT_NE(shortRead.err.find(", 3616) returned 0\n"), std::string::npos) << shortRead.err;
    EXPECT_EQ(shortRead.err.rfind("\nReadBytes: read(", 0), 0u);

    auto badWrite = RunChild([&] {
        BINARYFILE file = OpenRead(name.c_str(), TRUE);
        WriteBytes("x", 1, file);
    });
    EXPECT_EQ(badWrite.signal, SIGABRT);
    EXPECT_NE(badWrite.err.find(", 1) returned 18446744073709551615\n" + ErrnoLine(EBADF)), std::string::npos)
        << badWrite.err;

    auto badSeek = RunChild([] {
        int fds[2];
        if (pipe(fds) != 0)
            _exit(3);
        std::fprintf(_out, "%d|", fds[0]);
        std::fflush(_out);
        SeekAbs(fds[0], 5);
    });
    std::string fd = badSeek.out.substr(0, badSeek.out.find('|'));
    EXPECT_EQ(badSeek.err, "\nSeekAbs: lseek(" + fd + ", 5, 0) returned -1\n" + ErrnoLine(ESPIPE));
    auto badEnd = RunChild([] { SeekEnd(-1); });
    EXPECT_EQ(badEnd.err, "\nSeekAbs: lseek(-1, 0L, 2) returned -1\n" + ErrnoLine(EBADF));
}

TEST(FileAux, InterruptedTransfersGoOn) {
    // A timer interrupts the blocked read and write every 20 ms, without
    // restarting them; the other end of each pipe moves only after 300 ms.
    auto run = RunChild([] {
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigaction(SIGALRM, &action, nullptr);
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            _exit(3);
        pid_t peer = fork();
        if (peer == 0) {
            close(fromChild[1]);
            usleep(300000);
            if (write(toChild[1], "abcd", 4) != 4)
                _exit(4);
            usleep(300000);
            std::vector<char> sink(1 << 20);
            ssize_t got = 0;
            while ((got = read(fromChild[0], sink.data(), sink.size())) > 0) {
            }
            _exit(0);
        }
        close(fromChild[0]);
        struct itimerval timer = {{0, 20000}, {0, 20000}};
        setitimer(ITIMER_REAL, &timer, nullptr);
        char buffer[4];
        ReadBytes(buffer, 4, toChild[0]);
        // More than a pipe holds, so that the write blocks.
        std::vector<char> block(1 << 18, 'x');
        WriteBytes(block.data(), block.size(), fromChild[1]);
        close(fromChild[1]);
        timer = {};
        setitimer(ITIMER_REAL, &timer, nullptr);
        int status = 0;
        waitpid(peer, &status, 0);
        std::fprintf(_out, "%.4s %d", buffer, status);
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "abcd 0");
    EXPECT_EQ(run.err, "");
}

TEST(FileAux, InMemoryCopiesAgreeWithTheFile) {
    std::mt19937 random(17);
    int directRounds = 0;
    for (int round = 0; round < 30; ++round) {
        TempDir dir;
        std::string name = dir.file("copy");
        std::string model = RandomBytes(random, random() % 2000);
        write_file(name, model);
        BINARYFILE file = OpenUpdate(name.c_str());
        unsigned long len = model.size() + random() % 500;
        MMFILE* mm = MapToMem(StrCp(name.c_str()), file, len, model.size());
        ASSERT_NE(mm, nullptr);
        EXPECT_EQ(mm->start[model.size()], 0);
        unsigned long offset = 0;
        bool direct = false;
        for (int step = 0; step < 100; ++step) {
            int op = static_cast<int>(random() % 3);
            if (op == 0) {
                offset = random() % (model.size() + 1);
                if (direct)
                    SeekAbs(file, offset);
                else
                    MapSkAbs(mm, offset);
            } else if (op == 1) {
                std::string bytes = RandomBytes(random, random() % 120);
                if (direct)
                    WriteBytes(bytes.data(), bytes.size(), file);
                else
                    MapWrBytes(bytes.data(), bytes.size(), &mm);
                // A write that did not fit went to the file directly.
                if (!direct && mm == nullptr) {
                    direct = true;
                    EXPECT_EQ(read_file(name).substr(0, offset + bytes.size()),
                              (model.substr(0, offset) + bytes).substr(0, offset + bytes.size()));
                }
                if (model.size() < offset + bytes.size())
                    model.resize(offset + bytes.size());
                model.replace(offset, bytes.size(), bytes);
                offset += bytes.size();
                if (!direct) {
                    ASSERT_EQ(mm->actLen, model.size());
                }
            } else {
                unsigned long count = random() % (model.size() - offset + 1);
                std::string bytes(count, '\0');
                if (direct)
                    ReadBytes(bytes.data(), count, file);
                else
                    MapReBytes(bytes.data(), count, mm);
                ASSERT_EQ(bytes, model.substr(offset, count));
                offset += count;
            }
        }
        if (!direct)
            Unmap(mm, TRUE);
        directRounds += direct;
        OwnClose(file);
        ASSERT_EQ(read_file(name), model);
    }
    EXPECT_GT(directRounds, 0);
    EXPECT_LT(directRounds, 30);
}

TEST(FileAux, InMemoryCopiesRefusedAndOverread) {
    TempDir dir;
    std::string name = dir.file("f");
    write_file(name, "abcdef");
    auto run = RunChild([&] {
        BINARYFILE file = OpenRead(name.c_str(), TRUE);
        MMFILE* small = MapToMem(StrCp("small"), file, 3, 6);
        MMFILE* huge = MapToMem(StrCp("huge"), file, SIZE_MAX / 2, 6);
        std::fprintf(_out, "%d %d %d;", small == nullptr, huge == nullptr, Errno());
        MMFILE* mm = MapToMem(StrCp("mm"), file, 6, 6);
        char buffer[8] = "";
        MapReBytes(buffer, 4, mm);
        std::fprintf(_out, "%.4s;", buffer);
        std::fflush(_out);
        MapReBytes(buffer, 3, mm);
    });
    EXPECT_EQ(run.signal, SIGABRT);
    EXPECT_EQ(run.out, "1 1 0;abcd;\n");
    EXPECT_EQ(run.err, "\nsmall is used directly\n\nhuge is used directly\n\nMapReBytes: actLen (6) < offset (7)\n");
}

TEST(FileAux, KeyTools) {
    // Byte strings: unsigned bytes, a proper prefix first.
    EXPECT_LT(DataCompare(Bytes("ab"), Bytes("abc")), 0);
    EXPECT_GT(DataCompare(Bytes("\x81"), Bytes("\x7f")), 0);
    EXPECT_EQ(DataCompare(Bytes("abc"), Bytes("abc")), 0);
    EXPECT_TRUE(DataPrefix(Bytes("abc"), Bytes("")));
    EXPECT_TRUE(DataPrefix(Bytes("abc"), Bytes("ab")));
    EXPECT_FALSE(DataPrefix(Bytes("ab"), Bytes("abc")));
    EXPECT_EQ(DataLen(Bytes("\x84\x01\x02")), 3u);

    unsigned long six = 6, seven = 7, eight = 8;
    EXPECT_TRUE(LngPrefix(&six, &seven));
    EXPECT_FALSE(LngPrefix(&six, &eight));
    EXPECT_LT(LngCompare(&six, &seven), 0);
    DOMAIN big = 0xFFFFFFFF, one = 1;
    EXPECT_GT(DomCompare(&big, &one), 0);

    // Sets through the tool tables.
    AVLSET* data = BalTrCreate(&dataBalTools);
    for (const char* key : {"b1", "a9", "b2", "c"})
        BalTrInsert(data, DataCopy(Bytes(key)), Bytes(key), TRUE);
    EXPECT_STREQ(reinterpret_cast<char*>(BalTrGrEqPrefix(data, Bytes("b"), TRUE)), "b1");
    AVLSET* copy = BalTrCopy(data, TRUE);
    BalTrDestroy(data, TRUE);
    EXPECT_STREQ(reinterpret_cast<char*>(BalTrLast(copy)), "c");
    BalTrDestroy(copy, TRUE);

    AVLSET* numbers = BalTrCreate(&lngBalTools);
    for (unsigned long v : {5UL, 3UL, 9UL})
        BalTrInsert(numbers, LngCons(v), &v, TRUE);
    EXPECT_EQ(*static_cast<unsigned long*>(BalTrFirst(numbers)), 3u);
    BalTrDestroy(numbers, TRUE);

    // References share their key; owning references copy it.
    char key[] = "place";
    REF* ref = RefCons(key, 4);
    REF* refCopy = RefCopy(ref);
    EXPECT_EQ(refCopy->key, key);
    EXPECT_EQ(RefKeyCmp(ref, "place"), 0);
    EXPECT_TRUE(RefPrefix(ref, "pl"));
    Deallocate(ref);
    Deallocate(refCopy);
    DREF* dref = DrefCons(DataCopy(Bytes("k1")), 2);
    DREF* drefCopy = DrefCopy(dref);
    EXPECT_NE(drefCopy->key, dref->key);
    EXPECT_EQ(DrefKeyCmp(drefCopy, Bytes("k1")), 0);
    EXPECT_TRUE(DrefPrefix(dref, Bytes("k")));
    AVLSET* drefs = BalTrCreate(&drefBalTools);
    BalTrInsert(drefs, dref, dref->key, TRUE);
    BalTrInsert(drefs, drefCopy, drefCopy->key, FALSE);
    EXPECT_EQ(drefs->elCount, 2u);
    BalTrDestroy(drefs, TRUE);

    AVLSET* mons = BalTrCreate(&monBalTools);
    for (unsigned long state : {7UL, 2UL})
        BalTrInsert(mons, MonCons(state), &state, TRUE);
    unsigned long two = 2;
    auto* mon = static_cast<MON*>(BalTrElement(mons, &two));
    ASSERT_NE(mon, nullptr);
    EXPECT_EQ(mon->flag, 0u);
    BalTrDestroy(mons, TRUE);

    // Lists of strings.
    LIST* abc = LstCreate(&strTools);
    LIST* ab = LstCreate(&strTools);
    LIST* abd = LstCreate(&strTools);
    for (const char* s : {"a", "b", "c"})
        LstInsLast(abc, StrCp(s));
    for (const char* s : {"a", "b"})
        LstInsLast(ab, StrCp(s));
    for (const char* s : {"a", "bx"})
        LstInsLast(abd, StrCp(s));
    EXPECT_EQ(StrLstCompare(abc, abc), 0);
    EXPECT_EQ(StrLstCompare(ab, abc), -1);
    EXPECT_EQ(StrLstCompare(abc, ab), 1);
    EXPECT_LT(StrLstCompare(ab, abd), 0);
    EXPECT_TRUE(StrLstPrefix(abc, ab));
    EXPECT_TRUE(StrLstPrefix(abd, ab));  // the last one only starts its counterpart
    EXPECT_FALSE(StrLstPrefix(abc, abd));
    EXPECT_FALSE(StrLstPrefix(ab, abc));
    EXPECT_TRUE(StrLstPrefix(ab, ab));
    LstDestroy(abc, TRUE);
    LstDestroy(ab, TRUE);
    LstDestroy(abd, TRUE);
}

TEST(FileAux, Paths) {
    PATH* path = PthCreate(10);
    PthInsLast(path, 100, 11);
    PthInsLast(path, 101, 12);
    EXPECT_FALSE(PthLoop(path));
    PATH* before = PthCopy(path);
    PthInsLast(path, 102, 13);
    PthDelLast(path);
    EXPECT_EQ(PthCompare(path, before), 0);
    EXPECT_EQ(path->end, 12u);
    PthInsLast(path, 103, 11);  // back to a world it passed
    EXPECT_TRUE(PthLoop(path));
    // Paths to different worlds never compare equal, and the end decides.
    EXPECT_LT(PthCompare(path, before), 0);
    EXPECT_GT(PthCompare(before, path), 0);

    // A suffix: the newest steps, same end.
    PATH* suffix = PthCreate(11);
    PthInsFirst(suffix, 12, 103);
    EXPECT_TRUE(PthSuffix(path, suffix));
    PthInsFirst(suffix, 11, 101);
    EXPECT_TRUE(PthSuffix(path, suffix));
    PthInsFirst(suffix, 11, 100);
    EXPECT_FALSE(PthSuffix(path, suffix));
    EXPECT_TRUE(PthSuffix(path, path));

    // Catenation: 10 -> 11 -> 12 followed by 12 -> 20.
    PATH* second = PthCreate(12);
    PthInsLast(second, 200, 20);
    PATH* whole = PthCatenate(before, second);
    EXPECT_EQ(whole, second);
    EXPECT_EQ(whole->end, 20u);
    std::vector<unsigned long> arrows;
    for (LISTNODE* cell = whole->steps->_first; cell != nullptr; cell = cell->_next)
        arrows.push_back(static_cast<STEP*>(cell->_node)->awAddr);
    EXPECT_EQ(arrows, (std::vector<unsigned long>{200, 101, 100}));

    AVLSET* paths = BalTrCreate(&pthBalTools);
    BalTrInsert(paths, whole, whole, TRUE);
    BalTrInsert(paths, path, path, TRUE);
    EXPECT_EQ(BalTrFirst(paths), path);
    AVLSET* copy = BalTrCopy(paths, TRUE);
    EXPECT_EQ(PthCompare(static_cast<PATH*>(BalTrLast(copy)), whole), 0);
    BalTrDestroy(copy, TRUE);
    BalTrDestroy(paths, TRUE);
    PthDracsid(suffix);
}

TEST(FileAux, BitSetsAgreeWithAVector) {
    BITSET* edge = BstCons(65537);
    EXPECT_EQ(edge->set->ptrCount, 2u);
    BstInsert(edge, 65536);
    EXPECT_TRUE(BstIn(edge, 65536));
    EXPECT_EQ(*static_cast<unsigned char*>(RadixGet(edge->set, 1)), 1);
    BstDiscard(edge);

    std::mt19937 random(23);
    for (unsigned long count : {1UL, 9UL, 65536UL, 200000UL}) {
        BITSET* bits = BstCons(count);
        std::vector<bool> model(count);
        for (int i = 0; i < 5000; ++i) {
            unsigned long n = random() % count;
            if (random() % 2) {
                BstInsert(bits, n);
                model[n] = true;
            } else {
                BstDelete(bits, n);
                model[n] = false;
            }
            unsigned long probe = random() % count;
            ASSERT_EQ(BstIn(bits, probe) != 0, model[probe]);
        }
        BstClear(bits);
        for (unsigned long n = 0; n < count; n += 1 + count / 1000)
            ASSERT_FALSE(BstIn(bits, n));
        BstDiscard(bits);
    }
}
