// The range selection: HVolFrom and HVolTo, their text boxes, the blue line and the range
// editor's button.
#include "editorlayout.h"
#include "frmrudimix.h"

#include <QFrame>
#include <QLineEdit>
#include <QScrollBar>

// Left edge of the first note's volume bar; right edge of the last note's.
void frmRudimix::HVolFrom_Change()
{
    txtFrom->setText(QString::number(HVolFrom->value()));
    const QScrollBar* last = VertVolume(HVolTo->value() - 1);
    setLine(VertVolume(HVolFrom->value() - 1)->x(), last->x() + last->width());
}

void frmRudimix::HVolTo_Change()
{
    // The range never ends after the last note. Setting the position runs this handler again,
    // nested, with the corrected position; this run then finishes with the same result.
    if (HVolTo->value() > fiNumNotes)
        HVolTo->setValue(fiNumNotes);
    txtTo->setText(QString::number(HVolTo->value()));
    const QScrollBar* last = VertVolume(HVolTo->value() - 1);
    setLine(VertVolume(HVolFrom->value() - 1)->x(), last->x() + last->width());
}

void frmRudimix::cmdRangeSet_Click()
{
    if (rangeEditorOpener)
        rangeEditorOpener(*this);
}

// The line is 2 pixels wide around Y 366; a range that runs backwards draws from X2 to X1.
void frmRudimix::setLine(int x1, int x2)
{
    using namespace editorlayout;
    mLineX1 = x1;
    mLineX2 = x2;
    lineSettings->setGeometry(
        std::min(x1, x2), kLineY - kLineWidth / 2, std::abs(x2 - x1), kLineWidth);
}
