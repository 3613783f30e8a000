#include "news/purge.h"

#include <cstring>
#include <string>

#include "base/elapsed.h"
#include "base/os.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace Purge {

uint32_t lastPurgedTopic = kNoId;

namespace {

constexpr uint32_t kMostMessages = 10;  // a subscription never keeps more
constexpr uint32_t kMostAds = 50;

bool IsWebAddress(const char* title) {
    char start[5];
    StrCopy(start, sizeof start, title);
    return StrCompareNoCase(start, "http") == 0;
}

// An ad whose title is no longer its web address names the bitmap it was
// downloaded into, in the data directory. Nothing else is ever deleted: a
// title that could reach outside the directory leaves the disk alone.
void DeleteAdBitmap(const CMsg& msg) {
    if (IsWebAddress(msg.lpszTitle) || !IsAdBitmapFileName(msg.lpszTitle)) return;
    std::string path = DataDirPath(msg.lpszTitle);
    if (path.size() > 259) return;  // a cut path could name another file
    gOs.DeleteFile(path.c_str());
}

void DeleteAdBitmapGuarded(const CMsg& msg) {
    try {
        DeleteAdBitmap(msg);
    } catch (...) {
        Trace("PurgeAdStream(): Unhandled Exception 1");
    }
}

// Age of a message in whole seconds; negative for one from the future.
int64_t AgeOf(const CMsg& msg) {
    return SecondsBetween(msg.tmReceived, gOs.Now());
}

}  // namespace

uint32_t MostKept(const CTopic& topic) {
    if (topic.dwType == TOPIC_ADSTREAM) return kMostAds;
    int32_t purge = gConfig ? gConfig->MsgPurge : 0;
    return purge < 0 || static_cast<uint32_t>(purge) > kMostMessages ? kMostMessages : static_cast<uint32_t>(purge);
}

void OnClockTick() {
    if (!gConfig || gConfig->JobsHeld || gConfig->Passive) return;
    CTopic* topic =
        gTopicArray.NextInTurn(lastPurgedTopic, [](const CTopic& candidate) { return candidate.msgList.count() > 0; });
    if (!topic) return;
    lastPurgedTopic = topic->ridTopic;
    if (topic->dwType == TOPIC_SUBSCRIPTION) PurgeList(*topic);
    if (topic->dwType == TOPIC_ADSTREAM) PurgeAdStream(*topic);
}

void PurgeList(CTopic& topic) {
    try {
        MsgList& list = topic.msgList;
        for (MsgList::I node = list.begin(); node != list.end();) {
            if (list.count() > MostKept(topic)) {
                node = topic.RemoveMessage(node);
                continue;
            }
            bool expired = gConfig->MsgExpire && static_cast<int32_t>(topic.dwMsgLifetime) < AgeOf(*node->value);
            node = expired ? topic.RemoveMessage(node) : MsgList::next(node);
        }
    } catch (...) {
        Trace("PurgeList(): Unhandled Exception");
    }
}

void PurgeAdStream(CTopic& topic) {
    try {
        MsgList& list = topic.msgList;
        for (MsgList::I node = list.begin(); list.count() > kMostAds && node != list.end();) {
            DeleteAdBitmapGuarded(*node->value);
            node = topic.RemoveMessage(node);
        }
    } catch (...) {
        Trace("PurgeAdStream(): Unhandled Exception 2");
    }
}

void PurgeOutOfRange(CTopic& topic, uint32_t first, uint32_t last) {
    try {
        MsgList& list = topic.msgList;
        for (MsgList::I node = list.begin(); node != list.end();) {
            uint32_t id = node->value->ridMsg;
            if (id >= first && id <= last) {
                node = MsgList::next(node);
                continue;
            }
            if (topic.dwType == TOPIC_ADSTREAM) DeleteAdBitmapGuarded(*node->value);
            node = topic.RemoveMessage(node);
        }
    } catch (...) {
        Trace("Purge::PurgeAdStream(): Unhandled Exception");
    }
}

}  // namespace Purge

bool IsAdBitmapFileName(const char* name) {
    if (!name || (name[0] != 'A' && name[0] != 'a')) return false;
    size_t digits = strspn(name + 1, "0123456789");
    return digits >= 7 && StrCompareNoCase(name + 1 + digits, ".bmp") == 0;
}
