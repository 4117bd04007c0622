#pragma once

#include <QString>

class modRudimix;

// The test run of the TEST button: the test script in the host folder, and the host started
// on it without waiting.
void gsbTestRun(modRudimix& module, const QString& rawText);
