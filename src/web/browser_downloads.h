// Downloads from browser access (browser_server.cpp routes the requests here).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "history/history.h"
#include "web/http_connection.h"
#include "web/http_request.h"
#include "web/offered_files.h"

// An entry of what went to the browser at sender, for the history.
HistoryEntry browserSentEntry(HistoryDoor door, uint32_t sender, bool whole);
// The offered file whose link the request named; a single range of it when asked for.
void sendOfferedFile(HttpConnection& c, const HttpRequest& request, const OfferedFile& file, bool head,
                     uint32_t sender);
// The files list() gives (all, or one folder's with "folder=NAME" in query) as one zip.
void sendOfferedZip(HttpConnection& c, std::string_view query, const std::function<std::vector<OfferedFile>()>& list,
                    bool head, uint32_t sender);
