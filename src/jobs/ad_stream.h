// The ad stream: the messages of the ad-stream topic name the bitmaps the
// display programs show. Until its bitmap is here an ad's title is the
// bitmap's web address; afterwards it is the bitmap's file name, "A%07lu.bmp"
// in the data directory. The rules that need no network are here.
#pragma once

#include <cstdint>
#include <string>

#include "news/topic.h"
#include "shared/config_data.h"

namespace AdStream {

// The ad after the one numbered last (the oldest when there is none after
// it, or when that one is gone), or null without ads.
CMsg* NextAd(const CTopic& topic, uint32_t lastAdNumber);

// "A%07lu.bmp" for the ad's number.
std::string BitmapName(uint32_t ridMsg);

// The request for an ad's bitmap: "%s?AID=%s", with the first "C.bmp" (or,
// without one, "C.BMP") made "4.bmp" on a palette display and "8.bmp"
// otherwise. At most 1023 characters.
std::string BitmapRequest(const char* title, const CConfigData& cfg);

// True while the title is still a web address (four characters, any case).
bool AwaitsBitmap(const char* title);

// True when the file at path starts as a bitmap file does ("BM") and the
// size its header declares is bodyBytes: a body the server closed early
// without announcing its length shows here.
bool BitmapIsWhole(const char* path, int32_t bodyBytes);

// The bitmap at path arrived for the ad numbered lastAdNumber: its title
// becomes the file name and its time of arrival is noted. The ad keeps a
// valid message when the new one cannot be made.
void AdReceived(const char* path, uint32_t lastAdNumber);

// 1 when an ad refers to the file name (its first four characters match an
// ad's title, in any case), else 0.
int IsValidAdFile(const char* name);

// Deletes the files "a*.bmp" (any case) in the data directory that no ad
// refers to. Run once at start-up.
void PurgeOldAds();

}  // namespace AdStream
