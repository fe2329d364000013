// This installation's identity: a key pair and a self-signed certificate, made at first
// start and kept where only the user can read it. Its computer ID (trust/computer_id.h)
// is what other copies pin. Every use of the key goes through trust/tls_channel.h.
#pragma once
#include <string>

enum class IdentityState {
    Ready,       // loaded, or made and stored now
    Unreadable,  // the file exists but cannot be read or parsed: nothing was replaced
    NotStored,   // a new key was made but could not be stored
    Exposed,     // others may read the file or its folder, which could not be made the
                 // user's alone: the key is not used
};
// What the user is told for a state other than Ready: what is wrong with path and how to
// mend it, in English (the command line's words).
std::string identityTrouble(IdentityState state, const std::string& path);

// Loads the identity, making and storing a new one when none exists yet. Safe to call
// from several threads; the first call does the work. *where receives the file's path.
IdentityState loadIdentity(std::string* where = nullptr);

// This installation's computer ID ("" until loadIdentity has succeeded).
std::string ownComputerId();

// The identity file: Linux $XDG_CONFIG_HOME/quorvalinthexa/identity.pem (~/.config/... by
// default), Windows %LOCALAPPDATA%\Quorvalinthexa\identity.key (protected for the user).
std::string identityPath();
