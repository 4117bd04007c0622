#pragma once

#include "modrudimix.h"

#include <QString>
#include <memory>

class frmRudimix;

// The running program: the module and the editor window, wired to the platform services.
class RudimixApp {
public:
    RudimixApp(Services& services, const QString& ownFolder);
    ~RudimixApp();

    // Start-up; false when the program was ended before any window opened.
    bool start();

    modRudimix& module() { return mModule; }
    frmRudimix* editor() const { return mEditor.get(); }

private:
    modRudimix mModule;
    std::unique_ptr<frmRudimix> mEditor;
};
