#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/autostart_command.h"
#include "core/language_files.h"
#include "core/texts.h"
#include "resource.h"

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
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419"
                                     ".mui"
                                     "123456789"),
              "0419.mui12345");
    EXPECT_EQ(satelliteCandidateCode("Quorvalinthexa.exe.0419"
                                     ".mui"
                                     "1234567890"),
              "");
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

namespace {
// The string tables of the language files, read from their sources beside this test.
fs::path resourcesFolder() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources"; }

std::vector<std::string> lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

// IDS_ name -> number, from resource.h.
std::map<std::string, int> textIds() {
    std::map<std::string, int> ids;
    for (const std::string& line : lines(resourcesFolder() / "resource.h")) {
        std::istringstream words(line);
        std::string define, name;
        int number = 0;
        if (words >> define >> name >> number && define == "#define" && name.rfind("IDS_", 0) == 0) ids[name] = number;
    }
    return ids;
}

// Id -> text (UTF-8) of each `IDS_NAME, "text"` line of a satellite's STRINGTABLE.
std::map<int, std::string> satelliteTexts(const std::string& rcFile) {
    std::map<std::string, int> ids = textIds();
    std::map<int, std::string> texts;
    bool inTable = false;
    for (const std::string& line : lines(resourcesFolder() / rcFile)) {
        if (line == "BEGIN" || line == "END") inTable = line == "BEGIN";
        size_t open = line.find('"'), close = line.rfind('"');
        if (!inTable || open == std::string::npos || close == open) continue;
        std::istringstream head(line.substr(0, open));
        std::string name;
        head >> name;
        if (!name.empty() && name.back() == ',') name.pop_back();
        EXPECT_EQ(ids.count(name), 1u) << rcFile << ": unknown text " << name;
        std::string text;
        for (size_t i = open + 1; i < close; ++i) {
            text += line[i];
            if (line[i] == '"') ++i;  // "" stands for one quote
        }
        texts[ids[name]] = text;
    }
    return texts;
}

// The conversions of a format text, in order ("%d%s").
std::string markers(const std::string& text) {
    std::string found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        size_t end = text.find_first_of("diouxXscpf%", i + 1);
        if (end == std::string::npos) return found + "%?";
        found += text.substr(i, end - i + 1);
        i = end;
    }
    return found;
}

size_t utf16Length(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) units += (c & 0xC0) != 0x80 ? 1 : 0;  // a character starts
    for (unsigned char c : utf8) units += c >= 0xF0 ? 1 : 0;           // and needs two units
    return units;
}

// Where each text is loaded: wide texts into 256 wide characters (LoadStringW with 255,
// so at most 254 come), the others into 128 bytes (LoadStringA with 127: at most 126).
// Texts with numbers are then filled into a buffer of their own (the selection summary
// 100 bytes, the speed on the status line 72), each %d at most 11 characters.
bool loadedWide(int id) {
    for (int wide : {122, 123, 133, 134, 141, 142, 143, 144, 145, 172, 173, 174, 175, 176})
        if (id == wide) return true;
    return false;
}
size_t filledInto(int id) { return id == 111 ? 100 : id == 119 || id == 130 ? 72 : 0; }

void expectFits(const std::string& language, int id, const std::string& text) {
    SCOPED_TRACE(language + " text " + std::to_string(id) + ": " + text);
    if (loadedWide(id)) {
        EXPECT_LE(utf16Length(text), 254u);
    } else {
        EXPECT_LE(text.size(), 126u);
    }
    if (size_t buffer = filledInto(id)) {
        std::string conversions = markers(text);
        size_t count = conversions.size() / 2;
        EXPECT_LE(text.size() - conversions.size() + 11 * count, buffer - 1);
    }
}
}  // namespace

TEST(LanguageFilesContent, EveryTextIdWithItsMarkersAndWithinItsBuffer) {
    const std::pair<std::string, std::string> satellites[] = {{"Spanish", "satellite_es.rc"},
                                                              {"Russian", "satellite_ru.rc"}};
    // The string table's blocks, each without gaps.
    const std::pair<int, int> blocks[] = {{IDS_YOUR_IP, IDS_LAST},
                                          {IDS_TEXTS_FIRST, IDS_TEXTS_LAST},
                                          {IDS_EXISTING_FIRST, IDS_EXISTING_LAST},
                                          {IDS_REACH_FIRST, IDS_REACH_LAST}};
    size_t count = 0;
    for (const auto& block : blocks) {
        count += static_cast<size_t>(block.second - block.first + 1);
        for (int id = block.first; id <= block.second; ++id) {
            std::string english = englishText(id);
            ASSERT_FALSE(english.empty()) << "the English table lacks " << id;
            expectFits("English", id, english);
        }
    }
    for (const auto& satellite : satellites) {
        std::map<int, std::string> texts = satelliteTexts(satellite.second);
        EXPECT_EQ(texts.size(), count) << satellite.second << " read from " << resourcesFolder();
        for (const auto& block : blocks) {
            for (int id = block.first; id <= block.second; ++id) {
                auto text = texts.find(id);
                if (text == texts.end()) {
                    ADD_FAILURE() << satellite.first << " lacks text " << id;
                    continue;
                }
                EXPECT_EQ(markers(text->second), markers(englishText(id))) << satellite.first << " text " << id;
                expectFits(satellite.first, id, text->second);
            }
        }
    }
}
