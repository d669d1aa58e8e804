// The payload library under its own class names, as SidelightPane, the
// harness and the helpers carry it.
#include "PrivetTool/PrivetFlavour.h"

constinit const PrivetFlavour& kPrivetFlavour = kPlainFlavour;
