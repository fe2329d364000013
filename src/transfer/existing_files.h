// A reception's files that meet a name the store folder already has, through every door:
// what becomes of each (the choice in force, the user's answer when the choice is to ask,
// the content compared when it is to skip the same), and what the history says of them.
#pragma once
#include <string>

#include "store/existing_names.h"
#include "transfer/reception.h"

// The action for the whole content at arrived, whose name at path (shown as name, relative
// to the store) is taken. Asking, an answer for all is kept for the reception's later files;
// a Stop while asked drops the file.
ExistingAction existingActionFor(Reception& r, const std::string& arrived, const std::string& path,
                                 const std::string& name);
// The choice in force replaces files (the default): a name taken is no question.
bool existingReplaces();
// The choice in force skips content that is the file's already (else keeps both): content
// found the same by its hash need not be sent.
bool existingSkipsSame();

// Notes, for the history, a file whose name was taken that was kept beside it (under the
// name keptAs) or skipped; nothing for one that replaced the file or took its own name.
void noteExistingEnd(ExistingEnds& ends, const std::string& name, ExistingAction action, const std::string& keptAs);
// The history's words for them: "Kept both: a.txt -> a (2).txt. Skipped, already there:
// b.txt." in the user's language; "" for none.
std::string existingEndsText(const ExistingEnds& ends);
// A record's path relative to the store, '/' between its components ("DCIM/a.jpg"), as the
// user is shown it; "" when its folder is unsafe.
std::string relativeRecordName(const std::string& directory, const std::string& name, bool windowsRules);
