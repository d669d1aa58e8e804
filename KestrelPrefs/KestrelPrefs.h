#pragma once

#include "PrivetTool/PrivetBundlePayloadController.h"

#include "PreferencePanes/PreferencePane.h"

// The KestrelPrefs pane: refreshes its payload controller while it is shown.
class KestrelPrefs final : public platform::PreferencePane {
public:
    PLATFORM_CLASS_RECORD

    // Outlet: connected by the main-view interface file, never owned.
    PrivetBundlePayloadController* payloadController = nullptr;

    void didUnselect() override;
    void didSelect() override;
    void mainViewDidLoad() override;
    // The class initializer: ties the payload library into the pane.
    static void initialize();
};
