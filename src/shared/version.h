// The product's version, in the two forms it is written in: as text (in
// window classes, message and mapping names, requests) and as the four
// numbers of a program's version resource. Plain definitions only, so that
// resource scripts include it too.
#pragma once

#define TIDEWELL_VERSION "1.1.1043.1"
#define TIDEWELL_VERSION_NUMBERS 1, 1, 1043, 1
