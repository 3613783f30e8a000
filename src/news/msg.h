// CMsg: a message in memory, one heap block holding the numbers and the
// three strings packed behind them. To change a message's strings, write it
// to a record, edit the record and build a new CMsg from it.
#pragma once

#include <cstdint>

#include "shared/records.h"

struct CMsg {
    uint32_t cbSize;  // the whole block, strings included
    uint32_t ridTopic;
    uint32_t ridMsg;
    int32_t tmReceived;
    uint32_t dwViews;
    uint32_t dwReserved1;
    uint32_t dwReserved2;
    uint32_t dwReserved3;
    char* lpszTitle;
    char* lpszFile;
    char* lpszUrl;

    // Builds a message from a record; null when memory is short. Strings are
    // taken only as far as their fields (and the link's 1023 characters)
    // hold, so a record without terminators cannot lead past its end.
    static CMsg* Create(const MsgRecord& record);
    static void Destroy(CMsg* msg);

    // Writes the seven numbers and the three strings into the record. The
    // rest of the record is left as it was.
    void ToRecord(MsgRecord& record) const;
};
