#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/autostart_command.h"
#include "shell/language_files.h"

namespace fs = std::filesystem;

TEST(LanguageFiles, CandidateCodeFromSatelliteNames) {
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419.mui"), "0419");
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0c0a.mui"), "0c0a");
    // The prefix itself is not compared: any 19 characters give the same code.
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.dll.0419.mui"), "0419");
    // Anything after ".mui" lengthens the candidate, which then matches no row.
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0c0a.mui.bak"), "0c0a.mui");
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419.txt"), "");  // no ".mui"
    EXPECT_EQ(satelliteCandidateCode("x.mui"), "");                        // no "." from 20
}

TEST(LanguageFiles, CandidateLongerThanItsFieldIsDropped) {
    // 13 characters after the dot still fit the code field; 14 do not.
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419" ".mui" "123456789"), "0419.mui12345");
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419" ".mui" "1234567890"), "");
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419.mui" + std::string(300, 'x')), "");
}

TEST(AutostartCommand, QuotesThePathAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(autostartCommand("C:\\Program Files\\Kelvadro\\Quorvalinthexa.exe"),
              "\"C:\\Program Files\\Kelvadro\\Quorvalinthexa.exe\" --autostart");
    EXPECT_EQ(autostartCommand(""), "");
    // Two quotes and " --autostart" take 14 bytes of the 260.
    std::string fits(246, 'p'), tooLong(247, 'p');
    EXPECT_EQ(autostartCommand(fits).size(), 260u);
    EXPECT_EQ(autostartCommand(tooLong), "");
}

// Satellite files in a fresh folder, as the settings dialog scans it.
class LanguageChoicesInFolder : public ::testing::Test {
protected:
    std::string folder;
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        fs::path dir = fs::temp_directory_path() / (std::string("qv-languages-") + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        folder = dir.string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    void touch(const std::string& name) { std::ofstream(fs::path(folder) / name) << "x"; }
    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
};

TEST_F(LanguageChoicesInFolder, OffersOnlyTableSatellitesBesideTheProgram) {
    touch("Quorvalinthexa.exe.0c0a.mui");
    touch("Quorvalinthexa.exe.0419.mui");
    touch("Quorvalinthexa.exe.0407.mui");      // not in the table
    touch("Quorvalinthexa.exe.0419.mui.bak");  // a longer candidate
    touch("Quorvalinthexa.exe");
    fs::create_directory(fs::path(folder) / "Quorvalinthexa-exe.0c0a.mui");  // a folder
    LanguageChoices c = languageChoices("", folder);
    ASSERT_EQ(c.names.size(), 4u);
    EXPECT_EQ(c.names[0], "Auto");
    EXPECT_EQ(c.names[1], "English");
    EXPECT_EQ(sorted({c.names[2], c.names[3]}), sorted({"Russian", "Spanish"}));
    EXPECT_EQ(c.selected, 0);
}

TEST_F(LanguageChoicesInFolder, StoredCodeSelectsItsItem) {
    touch("Quorvalinthexa.exe.0c0a.mui");
    touch("Quorvalinthexa.exe.0419.mui");
    LanguageChoices russian = languageChoices("0419", folder);
    ASSERT_GE(russian.selected, 2);
    EXPECT_EQ(russian.names[static_cast<size_t>(russian.selected)], "Russian");
    EXPECT_EQ(languageChoices("0409", folder).selected, 1);
    // A code whose satellite is missing, or that is no row at all, selects nothing.
    EXPECT_EQ(languageChoices("0407", folder).selected, -1);
    fs::remove(fs::path(folder) / "Quorvalinthexa.exe.0419.mui");
    EXPECT_EQ(languageChoices("0419", folder).selected, -1);
}

TEST_F(LanguageChoicesInFolder, SameCodeTwiceIsOfferedTwiceAndTheFirstIsSelected) {
    touch("Quorvalinthexa.exe.0419.mui");
    touch("Quorvalinthexa.dll.0419.mui");  // another 19-character prefix
    LanguageChoices c = languageChoices("0419", folder);
    ASSERT_EQ(c.names.size(), 4u);
    EXPECT_EQ(c.names[2], "Russian");
    EXPECT_EQ(c.names[3], "Russian");
    EXPECT_EQ(c.selected, 2);
}

TEST_F(LanguageChoicesInFolder, MissingFolderOffersTheProgramsOwnChoices) {
    LanguageChoices c = languageChoices("0c0a", folder + "-missing");
    EXPECT_EQ(c.names, (std::vector<std::string>{"Auto", "English"}));
    EXPECT_EQ(c.selected, -1);
    EXPECT_EQ(languageChoices("0419", "").names.size(), 2u);  // never the current folder
}
