#pragma once

#include <QDialog>

class modRudimix;

// "Setup": the test script's header and the maximum number of note columns.
class frmRAWsetup : public QDialog {
    Q_OBJECT

public:
    explicit frmRAWsetup(modRudimix& module, QWidget* parent = nullptr);

private:
    modRudimix& mModule;
};
