#include "scratch_folder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

std::string makeScratchFolder(const std::string& hint) {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        fs::path path = fs::temp_directory_path() /
                        ("qv-" + hint + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(path, error)) return path.string();
        if (error) return std::string();
    }
}

void removeScratchFolder(const std::string& path) {
    std::error_code error;
    if (!path.empty()) fs::remove_all(path, error);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string listTree(const std::string& folder) {
    std::set<std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        std::string relative = fs::relative(it->path(), folder, error).generic_string();
        if (it->is_directory(error) && !it->is_symlink(error)) relative += "/";
        entries.insert(relative);
    }
    std::string text;
    for (const std::string& entry : entries) text += entry + "\n";
    return text;
}
