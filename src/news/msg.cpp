#include "news/msg.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/strutil.h"

namespace {

char* PlaceString(char*& cursor, const char* text, size_t length) {
    char* placed = cursor;
    memcpy(placed, text, length);
    placed[length] = '\0';
    cursor += length + 1;
    return placed;
}

}  // namespace

CMsg* CMsg::Create(const MsgRecord& record) {
    size_t titleLength = StrLenBounded(record.Title, sizeof record.Title - 1);
    size_t fileLength = StrLenBounded(record.File, sizeof record.File - 1);
    size_t urlLength = StrLenBounded(record.Url, kMsgUrlMax);
    size_t size = sizeof(CMsg) + titleLength + fileLength + urlLength + 3;
    void* block = malloc(size);
    if (!block) return nullptr;
    CMsg* msg = new (block) CMsg{};
    msg->cbSize = static_cast<uint32_t>(size);
    msg->ridTopic = record.ridTopic;
    msg->ridMsg = record.ridMsg;
    msg->tmReceived = record.tmReceived;
    msg->dwViews = record.dwViews;
    msg->dwReserved1 = record.dwReserved1;
    msg->dwReserved2 = record.dwReserved2;
    msg->dwReserved3 = record.dwReserved3;
    char* cursor = reinterpret_cast<char*>(msg + 1);
    msg->lpszTitle = PlaceString(cursor, record.Title, titleLength);
    msg->lpszFile = PlaceString(cursor, record.File, fileLength);
    msg->lpszUrl = PlaceString(cursor, record.Url, urlLength);
    return msg;
}

void CMsg::Destroy(CMsg* msg) {
    if (!msg) return;
    msg->~CMsg();
    free(msg);
}

void CMsg::ToRecord(MsgRecord& record) const {
    record.ridTopic = ridTopic;
    record.ridMsg = ridMsg;
    record.tmReceived = tmReceived;
    record.dwViews = dwViews;
    record.dwReserved1 = dwReserved1;
    record.dwReserved2 = dwReserved2;
    record.dwReserved3 = dwReserved3;
    StrCopy(record.Title, sizeof record.Title, lpszTitle);
    StrCopy(record.File, sizeof record.File, lpszFile);
    StrCopy(record.Url, kMsgUrlMax + 1, lpszUrl);
}
