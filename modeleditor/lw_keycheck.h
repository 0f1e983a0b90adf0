// The scene key check: every key of an item's motion channel whose time is
// missing from the item's first keyed channel, or the other way round.
#pragma once

#include <functional>

// Receives one finding, a line for the "Errors in LWS" list.
typedef std::function<void(const char* aLine)> LWKeyCheckSink;

// Reads the scene aFileName and hands each finding to aSink, items in file
// order. A file that cannot be opened gives no finding.
void CheckLwsKeys(const char* aFileName, const LWKeyCheckSink& aSink);
