// The payload library as the KestrelPrefs pane carries it.
#include "PrivetTool/PrivetFlavour.h"

constinit const PrivetFlavour& kPrivetFlavour = kKestrelPrefsFlavour;
