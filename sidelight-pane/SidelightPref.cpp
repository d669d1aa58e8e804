#include "SidelightPref.h"

const platform::Class com_fernhill_SidelightPref::classRecord{"com_fernhill_SidelightPref",
                                                               &platform::PreferencePane::classRecord,
                                                               platform::Class::factoryOf<com_fernhill_SidelightPref>()};

void com_fernhill_SidelightPref::mainViewDidLoad() {}
