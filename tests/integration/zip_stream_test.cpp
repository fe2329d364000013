// The zip writer on its own, into files: more entries than the old end record can count,
// read back by four readers (tests/support/zip_check.py); files that change while they
// are written, and a sink that stops taking bytes, leave an archive without its end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "scratch_folder.h"
#include "web/zip_stream.h"

namespace {
struct Collected {
    std::string bytes;
    size_t calls = 0;
    size_t refuseAt = SIZE_MAX;  // the call that returns false
};

ZipSink into(Collected& out) {
    return [&out](const char* data, size_t size) {
        EXPECT_LE(size, kZipPieceSize);
        out.bytes.append(data, size);
        return ++out.calls != out.refuseAt;
    };
}

bool hasEndRecord(const std::string& archive) { return archive.find(std::string("PK\5\6", 4)) != std::string::npos; }

bool readersPresent() {
    return std::system("for t in python3 unzip 7z bsdtar; do command -v $t || exit 1; done >/dev/null") == 0;
}
}  // namespace

TEST(ZipStream, MoreEntriesThanTheEndRecordCountsAreReadWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "the readers run on the Linux build";
#endif
    if (!readersPresent()) GTEST_SKIP() << "python3, unzip, 7z or bsdtar is missing (scripts/install-deps.sh)";
    std::string folder = makeScratchFolder("zipmany");
    const std::string contents[] = {"abc", "", "\xD1\x8F"};
    std::ofstream manifest(folder + "/manifest");
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 3; ++i) writeWholeFile(folder + "/" + std::to_string(i), contents[i]);
    for (int i = 0; i < 70000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many/%05d-\xD1\x8F.txt", i);
        std::string local = folder + "/" + std::to_string(i % 3);
        entries.push_back(ZipEntry{local, name, static_cast<int64_t>(contents[i % 3].size())});
        manifest << name << '\t' << local << '\n';
    }
    manifest.close();
    Collected out;
    ASSERT_TRUE(writeZip(entries, into(out)));
    writeWholeFile(folder + "/many.zip", out.bytes);
    std::string checker = std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/integration/")) +
                          "/support/zip_check.py";
    std::string command = "python3 '" + checker + "' '" + folder + "/many.zip' '" + folder + "/manifest'";
    EXPECT_EQ(0, std::system(command.c_str()));
    removeScratchFolder(folder);
}

TEST(ZipStream, FilesThatChangeOrVanishLeaveNoEnd) {
    std::string folder = makeScratchFolder("zipchange");
    std::string kept = folder + "/kept", changed = folder + "/changed";
    writeWholeFile(kept, "kept");
    struct Case {
        const char* what;
        const char* now;  // the changed file's bytes when it is read; nullptr: gone
    } cases[] = {{"grown", "12345"}, {"shrunk", "123"}, {"emptied", ""}, {"gone", nullptr}};
    for (const Case& c : cases) {
        if (c.now) writeWholeFile(changed, c.now);
        else std::remove(changed.c_str());
        std::vector<ZipEntry> entries = {{kept, "a", 4}, {changed, "b", 4}, {kept, "c", 4}};
        Collected out;
        EXPECT_FALSE(writeZip(entries, into(out))) << c.what;
        EXPECT_FALSE(hasEndRecord(out.bytes)) << c.what;
    }
    writeWholeFile(changed, "1234");
    Collected out;
    EXPECT_TRUE(writeZip({{kept, "a", 4}, {changed, "b", 4}}, into(out)));
    EXPECT_TRUE(hasEndRecord(out.bytes));
    removeScratchFolder(folder);
}

// A file rewritten in place at the same size while it is read would give an entry that is
// neither version, with a CRC that matches it: the archive ends there instead, also when
// the writer puts the old write time back.
TEST(ZipStream, AFileRewrittenWhileItIsReadLeavesNoEnd) {
    std::string folder = makeScratchFolder("ziptorn");
    std::string torn = folder + "/torn";
    for (bool keepsTime : {false, true}) {
        writeWholeFile(torn, std::string(3 * kZipPieceSize, 'o'));
        // An old write time, so that the rewrite's shows whatever the clock's step.
        const std::filesystem::file_time_type old;
        std::filesystem::last_write_time(torn, old);
        Collected out;
        ZipSink rewriteOnce = [&](const char* data, size_t size) {
            if (out.calls++ == 0) {
                std::fstream file(torn, std::ios::in | std::ios::out | std::ios::binary);
                file << std::string(3 * kZipPieceSize, 'n');
                file.close();
                if (keepsTime) std::filesystem::last_write_time(torn, old);
            }
            out.bytes.append(data, size);
            return true;
        };
        EXPECT_FALSE(writeZip({{torn, "torn", static_cast<int64_t>(3 * kZipPieceSize)}}, rewriteOnce)) << keepsTime;
        EXPECT_FALSE(hasEndRecord(out.bytes)) << keepsTime;
    }
    removeScratchFolder(folder);
}

TEST(ZipStream, ASinkThatStopsTakingEndsTheWriting) {
    std::string folder = makeScratchFolder("zipsink");
    std::string big = folder + "/big";
    writeWholeFile(big, std::string(3 * kZipPieceSize, 'x'));
    Collected out;
    out.refuseAt = 1;
    EXPECT_FALSE(writeZip({{big, "big", static_cast<int64_t>(3 * kZipPieceSize)}}, into(out)));
    EXPECT_EQ(1u, out.calls);
    removeScratchFolder(folder);
}
