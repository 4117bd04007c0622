#include "testrun.h"

#include "modrudimix.h"

void gsbTestRun(modRudimix&, const QString&) { }
