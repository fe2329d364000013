// The identity's key and certificate for the TLS session (trust/tls_channel.cpp only).
#pragma once
#include <openssl/evp.h>
#include <openssl/x509.h>

// The loaded identity's key and certificate, each with a reference of the caller's own
// (EVP_PKEY_free, X509_free). False when no identity is loaded and none could be.
bool identityKeys(EVP_PKEY** key, X509** certificate);
// Drops the loaded identity: the next loadIdentity reads its file again (tests that
// change XDG_CONFIG_HOME between cases).
void forgetIdentity();
