#include "windows/private_mark_win32.h"

#include <mutex>

#include "resource.h"
#include "windows/app_state_win32.h"
#include "windows/texts_win32.h"

namespace {
std::mutex markLock;
std::string privatePeer;        // the running private transfer's computer
std::string arrivalPeer;        // the computer of the reception that ended last, "" when plain
std::string transferNote;       // shown in the mark's place while no private transfer runs
bool sentInTheClear = false;    // the last send went in the clear, and no transfer began since
HBITMAP lockPicture = nullptr;  // the main window's thread only
}  // namespace

void setPrivatePeer(const std::string& name) {
    {
        std::lock_guard<std::mutex> guard(markLock);
        privatePeer = name;
        if (!name.empty()) transferNote.clear();  // a new transfer: the last one's tally no longer holds
        if (!name.empty()) sentInTheClear = false;
    }
    if (mainWindow) PostMessageW(mainWindow, kPrivateMarkMessage, 0, 0);
}

void setTransferNote(const std::string& note) {
    {
        std::lock_guard<std::mutex> guard(markLock);
        transferNote = note;
    }
    if (mainWindow) PostMessageW(mainWindow, kPrivateMarkMessage, 0, 0);
}

void setSentInTheClear(bool on) {
    {
        std::lock_guard<std::mutex> guard(markLock);
        sentInTheClear = on;
    }
    if (mainWindow) PostMessageW(mainWindow, kPrivateMarkMessage, 0, 0);
}

void showPrivateMark(HWND window) {
    std::string name, note;
    bool clear = false;
    {
        std::lock_guard<std::mutex> guard(markLock);
        name = privatePeer;
        note = transferNote;
        clear = sentInTheClear;
    }
    if (!lockPicture) {
        lockPicture = static_cast<HBITMAP>(LoadImageW(programModule, MAKEINTRESOURCEW(IDB_LOCK), IMAGE_BITMAP, 16, 16,
                                                      LR_COPYFROMRESOURCE | LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
        SendDlgItemMessageW(window, IDC_PRIVATE_LOCK, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(lockPicture));
    }
    const std::wstring text = !name.empty()           ? loadTextWith(IDS_ENCRYPTED_WITH, name)
                              : note.empty() && clear ? loadTextW(IDS_SENT_IN_CLEAR)
                                                      : utf8ToWide(note);
    SetDlgItemTextW(window, IDC_PRIVATE_MARK, text.c_str());
    ShowWindow(GetDlgItem(window, IDC_PRIVATE_LOCK), name.empty() ? SW_HIDE : SW_SHOWNA);
    ShowWindow(GetDlgItem(window, IDC_PRIVATE_MARK), text.empty() ? SW_HIDE : SW_SHOWNA);
}

void notePrivateArrival() {
    std::lock_guard<std::mutex> guard(markLock);
    arrivalPeer = privatePeer;
}

std::string privateArrivalName() {
    std::lock_guard<std::mutex> guard(markLock);
    return arrivalPeer;
}
