// A watch's lines are the client core's (WatchLines.h): a recording from the window
// writes the same.
#pragma once
#include "CliOutput.h"
#include "WatchLines.h"
