#pragma once

#include <QDialog>

class frmRudimix;

// "Change Multiple Note Settings": note type, volume or (de)crescendo over the editor's range.
class frmElementSettings : public QDialog {
    Q_OBJECT

public:
    explicit frmElementSettings(frmRudimix& editor, QWidget* parent = nullptr);

    frmRudimix& fxEditor;
};
