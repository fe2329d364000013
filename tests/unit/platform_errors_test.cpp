// How the program reads what the system answers: failed accepts, and (Windows) the tags
// of reparse points.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/files.h"
#include "platform/net.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#define QV_ERROR(windows, posix) windows
#else
#include <cerrno>
#define QV_ERROR(windows, posix) posix
#endif

TEST(AcceptFailure, OneConnectionOrScarceResourcesNeverEndTheListener) {
    const struct {
        int error;
        AcceptFailure meaning;
    } rows[] = {
        {QV_ERROR(WSAECONNRESET, ECONNABORTED), kAcceptAgain},  // reset before accept
        {QV_ERROR(WSAECONNABORTED, EPROTO), kAcceptAgain},     {QV_ERROR(WSAEMFILE, EMFILE), kAcceptAfterPause},
        {QV_ERROR(WSAENOBUFS, ENOBUFS), kAcceptAfterPause},    {QV_ERROR(WSAENETDOWN, ENFILE), kAcceptAfterPause},
        {QV_ERROR(WSAEINVAL, EINVAL), kAcceptAfterPause},  // the socket's state decides
        {QV_ERROR(WSAENOTSOCK, EBADF), kAcceptEnded},          {QV_ERROR(WSAEINTR, ENOTSOCK), kAcceptEnded},
    };
    for (const auto& row : rows) EXPECT_EQ(netAcceptFailure(row.error), row.meaning) << "error " << row.error;
}

#ifdef _WIN32
TEST(ReparseTags, OnlyNameSurrogatesAreLinks) {
    const struct {
        uint32_t tag;
        bool link;
    } rows[] = {
        {IO_REPARSE_TAG_SYMLINK, true},      {IO_REPARSE_TAG_MOUNT_POINT, true},  // junctions too
        {0xA0000027u /* WCI link */, true},  {0, true},                           // no tag read: counted as a link
        {IO_REPARSE_TAG_DEDUP, false},       {IO_REPARSE_TAG_CLOUD, false},
        {IO_REPARSE_TAG_CLOUD_1, false},     {IO_REPARSE_TAG_ONEDRIVE, false},
        {IO_REPARSE_TAG_HSM, false},         {IO_REPARSE_TAG_WCI, false},
        {IO_REPARSE_TAG_APPEXECLINK, false}, {IO_REPARSE_TAG_AF_UNIX, false},
    };
    for (const auto& row : rows) EXPECT_EQ(reparseTagNamesAnotherPlace(row.tag), row.link) << std::hex << row.tag;
}
#endif
