/* A shared object that carries the requirement library, as a pane does. */

#include "WithRequirements/RequiredObjectiveC.h"

int paneImageAnchor(void) {
    return __import_objc_RequiredObjectiveC();
}
