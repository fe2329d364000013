// The final names being written in the store now. Receptions that run side by side may
// bring files of the same name: a name is claimed for the time its content is written and
// named, so that a second writer waits for it (bounded) or refuses that file, and two
// senders' content never meets in one file. Names are compared without ASCII case, as the
// stricter of the two systems' stores does.
#pragma once
#include <atomic>
#include <string>

// How long a second writer waits for a name before it refuses its file.
constexpr int kNameClaimWaitMilliseconds = 20000;

// Claims path, waiting while another holds it, up to milliseconds or until stopped is set.
// True when claimed: release it with releaseStoreName. A trusted computer's reception gives
// pushStranger: when its wait for a name a stranger's reception holds is over, it calls it
// once (a stranger never keeps a trusted computer out) and waits as long again for the
// name; a stranger's gives none.
bool claimStoreName(const std::string& path, const std::atomic<bool>& stopped,
                    int milliseconds = kNameClaimWaitMilliseconds, void (*pushStranger)() = nullptr);
void releaseStoreName(const std::string& path);
// What tells one claimed name from another: path without ASCII case.
std::string claimKey(const std::string& path);

// A claim held for a scope: held is false when the name could not be claimed.
struct StoreNameClaim {
    std::string path;
    bool held = false;
    StoreNameClaim(const std::string& name, const std::atomic<bool>& stopped, void (*pushStranger)() = nullptr);
    ~StoreNameClaim();
    // The claim is the caller's from here on (releaseStoreName gives it up); its path.
    std::string handOver() {
        held = false;
        return path;
    }
    StoreNameClaim(const StoreNameClaim&) = delete;
    StoreNameClaim& operator=(const StoreNameClaim&) = delete;
};
