#pragma once

#include <QAbstractButton>

// The check box of a note column: no caption, only a sunken 11 x 11 indicator, so that it fits
// the narrow cells of a column (11 x 15 for the flam row, 11 x 17 for the voice rows). A toggle
// by the mouse or the space key emits clicked(); every change of the check state, from code
// too, emits toggled().
class CellCheckBox : public QAbstractButton {
    Q_OBJECT

public:
    explicit CellCheckBox(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    static constexpr int kIndicator = 11;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};
