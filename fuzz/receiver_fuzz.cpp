// The whole receiver over an in-memory stream, into a fresh store folder for every run.
// The store lies two levels below a folder of this process's own: afterwards those
// levels hold nothing but the way down to the store, so no record climbed out of it.
// The result and the texts shown must agree: "Receiving complete." only for a complete
// transfer, "Some files were not received." only for an incomplete one, never both.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/central_state.h"
#include "core/texts.h"
#include "fuzz_check.h"
#include "recording_port.h"
#include "resource.h"
#include "store/store_names.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

namespace fs = std::filesystem;

namespace {
std::string parentFolder, levelFolder, storeFolder;

void removeParent() {
    std::error_code error;
    if (!parentFolder.empty()) fs::remove_all(parentFolder, error);
}

void makeFolders() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-fuzz-receiver-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    parentFolder = name.data();
    levelFolder = parentFolder + "/level";
    storeFolder = levelFolder + "/store";
    FUZZ_CHECK(fs::create_directory(levelFolder));
    atexit(removeParent);
}

// The names directly inside a folder.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

void checkStoreTree() {
    FUZZ_CHECK(entries(parentFolder) == std::vector<std::string>{"level"});
    FUZZ_CHECK(entries(levelFolder) == std::vector<std::string>{"store"});
    for (const auto& entry : fs::recursive_directory_iterator(storeFolder)) {
        FUZZ_CHECK(!entry.is_symlink());
        FUZZ_CHECK(fitsLocalPathLimit(entry.path().string()));
        FUZZ_CHECK(entry.is_directory() || entry.is_regular_file());
    }
}

bool shown(const std::vector<std::string>& texts, int id) {
    for (const std::string& text : texts)
        if (text == englishText(id)) return true;
    return false;
}

void checkReport(ReceiveResult result) {
    std::vector<std::string> status = recordedStatusTexts();
    std::vector<std::string> errors = recordedErrors();
    FUZZ_CHECK(result != ReceiveResult::TurnedAway && result != ReceiveResult::NoStorePath);
    const bool complete = result == ReceiveResult::Complete || result == ReceiveResult::Empty;
    FUZZ_CHECK(shown(status, IDS_RECEIVING_COMPLETE) == complete);
    FUZZ_CHECK(shown(status, IDS_RECEIVING_INCOMPLETE) == (result == ReceiveResult::Incomplete));
    FUZZ_CHECK(shown(errors, IDS_OLD_VERSION) == (result == ReceiveResult::WrongVersion));
    FUZZ_CHECK(errors.size() <= 1);
    if (complete) FUZZ_CHECK(lastStatusText() == englishText(IDS_RECEIVING_COMPLETE));
    if (result == ReceiveResult::Incomplete) FUZZ_CHECK(lastStatusText() == englishText(IDS_RECEIVING_INCOMPLETE));
    if (complete) FUZZ_CHECK(receiveProgress().received == receiveProgress().total);
    if (result == ReceiveResult::AddressTaken) FUZZ_CHECK(shown(status, IDS_RECIPIENT_RECEIVED));
    if (result == ReceiveResult::WrongVersion) FUZZ_CHECK(entries(storeFolder).empty());
    for (const PortCall& call : recordedCalls())
        if (call.what == "progress") FUZZ_CHECK(call.a >= 0 && call.a <= 100 && call.b >= 0 && call.b <= 100);
    FUZZ_CHECK(recordedRecipient().size() <= 15);
    // The reception gave its admission and its connection up.
    FUZZ_CHECK(!receiveInProgress && receiveSocket == kInvalidSocket);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (parentFolder.empty()) makeFolders();
    FUZZ_CHECK(fs::create_directory(storeFolder));

    uint32_t seed = inputHash(data, size);
    // A store path with and without its closing separator; a recipient field empty or filled.
    recordingPortReset(storeFolder + ((seed & 1) ? "/" : ""), "192.0.2.7", (seed & 2) ? "192.0.2.9" : "");
    receiveInProgress = false;
    cancelRequested = false;

    MemoryStream stream;
    stream.data = data;
    stream.size = size;
    stream.pieces = (seed & 4) ? Pieces::Random : Pieces::Whole;
    stream.state = seed;
    stream.endResult = (seed & 24) == 24 ? kReceiveTimedOut : (seed & 24) == 16 ? -1 : 0;
    StreamReader reader;
    startReader(reader, receiveFromMemory, &stream);
    ReceiveResult result = receiveStream(std::move(reader), kInvalidSocket);

    checkReport(result);
    checkStoreTree();
    std::error_code error;
    fs::remove_all(storeFolder, error);
    FUZZ_CHECK(!error);
    return 0;
}
