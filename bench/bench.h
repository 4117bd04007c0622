#pragma once

#include "fakes.h"
#include "frmrudimix.h"
#include "modrudimix.h"

#include <QMainWindow>
#include <memory>

// What the benchmarks and the memory probes share.
namespace bench {

// An editor window built as start-up builds it, on fake platform services.
struct Editor {
    explicit Editor(int maxNotes);
    ~Editor();
    FakeServices fakes;
    modRudimix module { fakes.services };
    std::unique_ptr<frmRudimix> window;
};

// The floor that Qt itself sets: a main window with a menu bar and one line edit.
std::unique_ptr<QMainWindow> makeBareWindow();

// Shows the window and returns once it is exposed and its first paint has been processed.
void showAndWait(QWidget& window);

// The resident set of this process in kB (VmRSS of /proc/self/status), 0 when unknown.
long residentKb();

} // namespace bench
