#pragma once
// The click trackers live with the other network code; this name stays for the renderers' includes.
#include "ads/core/net/GADClickTrackerCollection.h"
