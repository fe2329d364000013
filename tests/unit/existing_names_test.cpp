// The names an arriving file takes beside a file of its name, and the one step that gives
// it one: never over a file that is there, however it came.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/files.h"
#include "policy/existing_choice.h"
#include "store/existing_names.h"
#include "store/store_names.h"
#include "scratch_folder.h"

namespace {
std::string in(const std::string& folder, const std::string& name) { return folder + kPathSeparator + name; }
}  // namespace

TEST(ExistingNames, KeptBothNameNumbersTheStemAndKeepsTheExtension) {
    const struct {
        const char *name, *kept;
    } cases[] = {
        {"photo.jpg", "photo (2).jpg"},           {"notes", "notes (2)"},         {".profile", ".profile (2)"},
        {"archive.tar.gz", "archive.tar (2).gz"}, {"a (2).txt", "a (2) (2).txt"}, {"trailing.", "trailing. (2)"},
        {".hidden.txt", ".hidden (2).txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(keptBothName(c.name, 2), c.kept) << c.name;
    EXPECT_EQ(keptBothName("a.txt", 13), "a (13).txt");
}

TEST(ExistingNames, StoredChoicesAndTheirWords) {
    EXPECT_EQ(existingChoiceStored(0), ExistingChoice::Replace);
    EXPECT_EQ(existingChoiceStored(3), ExistingChoice::Ask);
    EXPECT_EQ(existingChoiceStored(4), ExistingChoice::KeepBoth);  // unknown: nothing is lost
    ExistingChoice choice = ExistingChoice::Replace;
    EXPECT_TRUE(existingChoiceNamed("skip-identical", &choice));
    EXPECT_EQ(choice, ExistingChoice::SkipIdentical);
    EXPECT_FALSE(existingChoiceNamed("Keep-Both", &choice));
}

// Each case: the files in the folder before, the arriving name, and what it must be stored as
// ("" for not at all), with every file that was there unchanged.
TEST(ExistingNames, KeepingBothTakesTheNextFreeNameAndNeverReplaces) {
    const struct {
        std::vector<std::string> there;
        std::string arriving, expected;
    } cases[] = {
        {{"a.txt"}, "a.txt", "a (2).txt"},
        {{"a.txt", "a (2).txt"}, "a.txt", "a (3).txt"},
        {{"a.txt", "a (2).txt", "a (4).txt"}, "a.txt", "a (3).txt"},
        {{"README"}, "README", "README (2)"},
        {{".bashrc"}, ".bashrc", ".bashrc (2)"},
        {{}, "new.txt", "new.txt"},  // the name itself when it is free
        {{"LONG"}, "LONG", ""},      // a name that fits the path limit, numbered it would not
    };
    for (const auto& c : cases) {
        const std::string folder = makeScratchFolder("existing");
        // LONG: the path and its NUL take the 260 bytes exactly.
        const auto named = [&](const std::string& name) {
            return name == "LONG" ? std::string(kLocalPathLimit - 6 - folder.size(), 'n') + ".txt" : name;
        };
        for (const std::string& name : c.there) writeWholeFile(in(folder, named(name)), "old " + name);
        const std::string from = in(folder, "arrived.part");
        writeWholeFile(from, "new");
        const std::string arriving = named(c.arriving), path = in(folder, arriving);
        ASSERT_TRUE(fitsLocalPathLimit(path));
        const std::string placed = nameKeepingBoth(from, path, arriving.size());
        EXPECT_EQ(placed.empty() ? "" : placed.substr(folder.size() + 1), c.expected) << c.arriving;
        EXPECT_EQ(readWholeFile(c.expected.empty() ? from : placed), "new");
        const std::string kept = c.there.empty() ? "" : c.expected;
        EXPECT_EQ(keptName(placed, path, arriving.size()), kept);
        for (const std::string& name : c.there) EXPECT_EQ(readWholeFile(in(folder, named(name))), "old " + name);
        removeScratchFolder(folder);
    }
}

// A file that appears at the chosen name between the look and the rename stays as it is:
// the rename itself refuses a name that exists.
TEST(ExistingNames, TheRenameNeverReplacesAFileThatAppeared) {
    const std::string folder = makeScratchFolder("existing");
    const std::string from = in(folder, "arrived.part"), to = in(folder, "b (2).txt");
    writeWholeFile(from, "new");
    writeWholeFile(to, "appeared meanwhile");
    bool exists = false;
    EXPECT_FALSE(fileRenameNew(from, to, to, &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(readWholeFile(to), "appeared meanwhile");
    EXPECT_EQ(readWholeFile(from), "new");
    EXPECT_TRUE(fileRenameNew(from, in(folder, "b (3).txt"), to, &exists));
    EXPECT_EQ(readWholeFile(in(folder, "b (3).txt")), "new");
    removeScratchFolder(folder);
}

// Content is skipped only when it is the same byte for byte: a file of the same size that
// differs is kept beside the one there.
TEST(ExistingNames, SkipSameComparesTheContent) {
    const std::string folder = makeScratchFolder("existing");
    const std::string there = in(folder, "there.bin"), same = in(folder, "same"), other = in(folder, "other");
    std::string bytes(200000, 'x');
    writeWholeFile(there, bytes);
    writeWholeFile(same, bytes);
    bytes[150000] = 'y';  // past the first piece compared
    writeWholeFile(other, bytes);
    EXPECT_EQ(resolvedAction(ExistingAction::SkipSame, same, there), ExistingAction::Skip);
    EXPECT_EQ(resolvedAction(ExistingAction::SkipSame, other, there), ExistingAction::KeepBoth);
    EXPECT_EQ(resolvedAction(ExistingAction::SkipSame, in(folder, "missing"), there), ExistingAction::KeepBoth);
    EXPECT_EQ(resolvedAction(ExistingAction::Replace, same, there), ExistingAction::Replace);
    removeScratchFolder(folder);
}

#ifndef _WIN32
// A link at the name leads out of the store: its target is never read, and so never the same.
TEST(ExistingNames, ALinkAtTheNameIsNeverTheSame) {
    const std::string folder = makeScratchFolder("existing");
    const std::string target = in(folder, "target"), link = in(folder, "link"), arrived = in(folder, "arrived");
    writeWholeFile(target, "same bytes");
    writeWholeFile(arrived, "same bytes");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(resolvedAction(ExistingAction::SkipSame, arrived, target), ExistingAction::Skip);
    EXPECT_EQ(resolvedAction(ExistingAction::SkipSame, arrived, link), ExistingAction::KeepBoth);
    removeScratchFolder(folder);
}
#endif
