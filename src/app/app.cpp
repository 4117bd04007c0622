#include "app.h"

#include "frmelementsettings.h"
#include "frmrudimix.h"

RudimixApp::RudimixApp(Services& services, const QString& ownFolder)
    : mModule(services)
{
    mModule.ownFolder = ownFolder;
    mModule.showEditor = [this] {
        mEditor = std::make_unique<frmRudimix>(mModule);
        mEditor->rangeEditorOpener = [](frmRudimix& editor) {
            frmElementSettings rangeEditor(editor);
            rangeEditor.exec();
        };
        mEditor->show();
    };
}

RudimixApp::~RudimixApp() = default;

bool RudimixApp::start() { return mModule.Main(); }
