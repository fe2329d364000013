// Resumable uploads below the token path, at "uploads/", as the page's script sends them:
// the tus 1.0 protocol with its creation, creation-with-upload and termination extensions.
// POST makes an upload (its name in Upload-Metadata's "filename", base64) and may carry its
// first bytes; HEAD tells how far it got; PATCH adds bytes at that offset; DELETE ends it.
// The receive policy is asked once, when it is made. An upload lives as a partial file
// (web/upload_files.h) until its last byte arrives, and only as long as browser access is
// on; only the browser address that made it reaches it, by an id nobody can guess. Once
// kMostPartialUploads exist, a new one pushes out one of an address over its share of the
// table (web/upload_shares.h), never one of an address within it.
#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>

#include "web/browser_upload.h"
#include "web/http_connection.h"
#include "web/http_request.h"

// The largest upload taken, and how many partial uploads may exist at once, in all and
// per browser address (a browser sends up to six at a time).
constexpr int64_t kTusMaxSize = int64_t{1} << 40;
constexpr int kMostPartialUploads = 64;
constexpr int kMostPartialPerAddress = 16;

// Answers a request whose path below the token ("/<token>/") is rest: "uploads" or
// "uploads/<id>". base is the token's part of the path, "/<token>/".
void serveUploads(HttpConnection& c, const HttpRequest& request, std::string_view base, std::string_view rest,
                  uint32_t sender);
// Browser access ends: every upload is forgotten and its partial file removed (one whose
// bytes still arrive goes when its request ends).
void endUploads();

// An upload's body as its pieces read it: cut (-1) by a Stop since stops, when access
// stops, when the client is silent for the connection's idle limit, or once *ended is set.
BodyRead uploadBody(HttpConnection& c, unsigned stops, const std::atomic<bool>* ended = nullptr);
