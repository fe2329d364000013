#include "windows/recipient_menu_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "peers/remembered_peers.h"
#include "platform/codepage.h"
#include "platform/net.h"
#include "resource.h"
#include "private/private_channel.h"
#include "send/send_many.h"
#include "trust/trusted_list.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kFieldSubclass = 1;

// The field's own keys for the menu, as a combo box's: Alt+Down and F4.
LRESULT CALLBACK recipientKeys(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if ((message == WM_KEYDOWN && wParam == VK_F4) || (message == WM_SYSKEYDOWN && wParam == VK_DOWN)) {
        showRecipientMenu(GetParent(field));
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(field, recipientKeys, kFieldSubclass);
    return DefSubclassProc(field, message, wParam, lParam);
}

void addItem(HMENU menu, UINT flags, UINT_PTR command, const std::wstring& text) {
    AppendMenuW(menu, MF_STRING | flags, command, text.c_str());
}

// The addresses the field lists now (none when it holds no list that can be read).
std::vector<std::string> fieldList(HWND field) {
    const int length = GetWindowTextLengthW(field);
    std::vector<std::string> list;
    std::string why;
    if (length <= 0 || length > static_cast<int>(kMostRecipients * (kMostRecipientBytes + 2))) return list;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(field, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    if (!splitRecipients(wideToAnsi(text), &list, &why)) list.clear();
    return list;
}

// A pick toggles the address in the field's list: a listed one leaves it, another joins
// it. The field that lists nothing but what is typed over, or one address, takes the
// pick alone, as a single choice.
std::string toggled(std::vector<std::string> list, const std::string& address, bool several) {
    const auto found = std::find(list.begin(), list.end(), address);
    if (found != list.end()) list.erase(found);
    else if (several) list.push_back(address);
    else list.assign(1, address);
    std::string text;
    for (const std::string& item : list) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// The trusted computers first, by name with their last address (one never seen cannot be
// chosen: trust follows the key, and its address is not known yet), then the remembered
// peers that are not among them. Each address the menu offers goes into targets.
void addTrustedItems(HMENU menu, std::vector<std::string>* targets, std::vector<std::string>* names,
                     const std::function<bool(const std::string&)>& listed) {
    std::vector<TrustedComputer> trusted = trustedComputers();
    if (trusted.empty()) return;
    addItem(menu, MF_GRAYED, 0, loadTextW(IDS_TRUSTED_GROUP));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const TrustedComputer& computer : trusted) {
        if (computer.lastAddress == 0) {
            addItem(menu, MF_GRAYED, 0, utf8ToWide(computer.name));
            continue;
        }
        std::string address = netDotted(computer.lastAddress);
        targets->push_back(address);
        names->push_back(computer.name);
        addItem(menu, listed(address) ? MF_CHECKED : 0, targets->size(),
                utf8ToWide(computer.name + "  (" + address + ")"));
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}
}  // namespace

void setUpRecipientMenu(HWND window) {
    // The system's own combo box arrow.
    HANDLE arrow = LoadImageW(nullptr, MAKEINTRESOURCEW(32738 /* OBM_COMBO */), IMAGE_BITMAP, 0, 0, LR_SHARED);
    SendDlgItemMessageW(window, IDC_RECIPIENT_PEERS, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(arrow));
    SetWindowSubclass(GetDlgItem(window, IDC_RECIPIENT), recipientKeys, kFieldSubclass, 0);
}

void showRecipientMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    // The lists as they are now: what is chosen is taken from this copy, however they change.
    std::vector<std::string> targets, names;  // names: the trusted computers' (the first targets)
    HWND field = GetDlgItem(window, IDC_RECIPIENT);
    // Checked: the addresses the field lists already.
    const std::vector<std::string> listedNow = fieldList(field);
    const auto listed = [&listedNow](const std::string& address) {
        return std::find(listedNow.begin(), listedNow.end(), address) != listedNow.end();
    };
    addTrustedItems(menu, &targets, &names, listed);
    const size_t trustedCount = targets.size();
    addItem(menu, MF_GRAYED, 0, loadTextW(IDS_REMEMBERED_PEERS));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const std::string& peer : rememberedPeers()) {
        if (std::find(targets.begin(), targets.begin() + trustedCount, peer) != targets.begin() + trustedCount)
            continue;
        targets.push_back(peer);
        addItem(menu, listed(peer) ? MF_CHECKED : 0, targets.size(), ansiToWide(peer));
    }
    if (targets.size() == trustedCount) addItem(menu, MF_GRAYED, 0, loadTextW(IDS_CHECK_NO_PEERS));
    // Under the field, its right edge at the arrow's: into the window rather than past it.
    RECT place = {}, arrow = {};
    GetWindowRect(field, &place);
    GetWindowRect(GetDlgItem(window, IDC_RECIPIENT_PEERS), &arrow);
    SetFocus(field);
    SetForegroundWindow(window);  // else the menu stays open when the user clicks elsewhere
    UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON,
                                                   arrow.right, place.bottom, 0, window, nullptr));
    DestroyMenu(menu);
    if (chosen < 1 || chosen > targets.size()) return;
    // A trusted computer chosen here gets nothing in the clear there without the user's word.
    uint32_t address = 0;
    if (chosen <= trustedCount && netParseDotted(targets[chosen - 1], &address))
        noteChosenAsTrusted(address, names[chosen - 1]);
    // Only a field that lists a menu address already grows into a list of several.
    const bool several = std::any_of(listedNow.begin(), listedNow.end(), [&targets](const std::string& address) {
        return std::find(targets.begin(), targets.end(), address) != targets.end();
    });
    SetWindowTextA(field, toggled(listedNow, targets[chosen - 1], several).c_str());
    SendMessageW(field, EM_SETSEL, 0, -1);
}
