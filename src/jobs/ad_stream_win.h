// AdStream: fetches the advertisement bitmaps, one ad per run, in turn. An
// ad whose title is still a web address is downloaded into "A%07lu.bmp" in
// the data directory, in the colour variant that suits the display, and its
// title becomes the file name.
#pragma once

#include <windows.h>

#include <string>

#include "jobs/job_transfer_win.h"
#include "net/http_file_win.h"

namespace AdStream {

class CUpdate;
extern CUpdate* gJob;

// The bitmap exactly as the body holds it: no source header.
using CAdDownload = JobDownload<CHttpFile, CUpdate, gJob, kBitmapLimit>;

class CUpdate : public CDownloadJob<CAdDownload> {
public:
    explicit CUpdate(HWND owner);

    void OnClockTick();
    // The end of a transfer, from the transfer's notifications.
    void OnDisconnect(int success);

    uint32_t lastAdNumber;   // the ad taken by the last run
    std::string adFilePath;  // where the transfer writes
};

}  // namespace AdStream
