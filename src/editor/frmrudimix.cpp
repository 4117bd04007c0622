#include "frmrudimix.h"

#include "cellcheckbox.h"
#include "editorlayout.h"
#include "modrudimix.h"
#include "pictures.h"

#include <QCloseEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>

namespace {

// The pattern the window starts with: 22 notes.
const char16_t* const kDefaultPattern
    = u"48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";

// The default header of the test script, one entry per line.
const QStringList& defaultTestHeaderLines()
{
    static const QStringList lines {
        QStringLiteral("' Instrument set to GM Drums"),
        QStringLiteral("Set TRACKINSTRUMENT(1) = 0"),
        QStringLiteral("' Snare,Bass,Closed HH,Open HH,HiTom,LoTom"),
        QStringLiteral("SET TRACKVOICES(1)=40,35,42,46,50,45"),
        QStringLiteral("SET PLAYBEAT=NO;SET PLAYBAR=NO"),
        QStringLiteral("SET INTRO=;SET TRANSITION=;SET TIMESIG=4/4"),
        QStringLiteral("SET TEMPO=100;SET REPEATS=3;SET TEMPOCHANGE=10"),
        QStringLiteral("'Make sure you change this line if you're using odd note types"),
        QStringLiteral("SET ATICKS=120;SET BTICKS=120;SET CTICKS=120"),
        QStringLiteral("SET DTICKS=120;SET ETICKS=120;SET FTICKS=120"),
    };
    return lines;
}

} // namespace

frmRudimix::frmRudimix(modRudimix& module, QWidget* parent)
    : QMainWindow(parent)
    , mModule(module)
{
    setObjectName(QStringLiteral("frmRudimix"));
    setWindowTitle(QStringLiteral("Build RAW Patterns / Rudiments"));
    setWindowIcon(pictures::windowIcon());
    // The window keeps the size that its columns give it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    createMenu();
    createControls();
    Form_Load();
    createHistory();

    // Open centred on the screen.
    if (const QScreen* where = screen()) {
        adjustSize();
        const QRect available = where->availableGeometry();
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
}

frmRudimix::~frmRudimix() = default;

void frmRudimix::Form_Load()
{
    fiMaxResValue = 15;
    mModule.gsTestHeader
        = modRudimix::gfnReplaceAll(defaultTestHeaderLines().join(QStringLiteral("<BR>")),
            QStringLiteral("<BR>"), QStringLiteral("\r\n"));
    if (mModule.giMaxNotes > editorlayout::kStartColumns)
        AddMoreControls();
    ReadRawText(QString::fromUtf16(kDefaultPattern));
    SetNumberOfNotes(fiNumNotes);
    // Once more, so that txtTo and the blue line are current even when SetNumberOfNotes left
    // the position of HVolTo as it was.
    HVolTo_Change();
}

int frmRudimix::columnCount() const
{
    return int(mVertRes.size());
}

QScrollBar* frmRudimix::VertRes(int i) const
{
    return mVertRes.at(std::size_t(i));
}

QScrollBar* frmRudimix::VertVolume(int i) const
{
    return mVertVolume.at(std::size_t(i));
}

CellCheckBox* frmRudimix::chkFlammed(int i) const
{
    return mChkFlammed.at(std::size_t(i));
}

CellCheckBox* frmRudimix::chkVoice(int letter, int i) const
{
    return mChkVoice.at(std::size_t(letter)).at(std::size_t(i));
}

// Every event of a column control is one call of the writer with the column's index; outside
// a larger action (a paste, a range edit) it is also a step of the history. Arrow and track
// clicks on one bar may merge with the step before; a thumb drag, let go, is a step of its own.
void frmRudimix::columnChanged(int i, QScrollBar* bar)
{
    UpdateRAWtext(std::int16_t(i));
    int mergeId = -1;
    if (bar && bar == mActionBar
        && (mBarAction == QAbstractSlider::SliderSingleStepAdd
            || mBarAction == QAbstractSlider::SliderSingleStepSub
            || mBarAction == QAbstractSlider::SliderPageStepAdd
            || mBarAction == QAbstractSlider::SliderPageStepSub))
        mergeId = 1 + 2 * i + (bar == VertRes(i) ? 1 : 0);
    mActionBar = nullptr;
    if (!fbReadingRaw)
        recordStep(mergeId);
}

void frmRudimix::wireColumn(int i)
{
    const auto changed = [this, i] { columnChanged(i, nullptr); };
    for (QScrollBar* bar : { VertRes(i), VertVolume(i) }) {
        // actionTriggered comes just before the value changes, for the user's moves only.
        connect(bar, &QScrollBar::actionTriggered, this, [this, bar](int action) {
            mActionBar = bar;
            mBarAction = action;
        });
        connect(bar, &QScrollBar::valueChanged, this, [this, i, bar] { columnChanged(i, bar); });
    }
    // toggled comes on every change of the check state, by the user or from code; the reader's
    // changes are silenced by fbReadingRaw.
    connect(chkFlammed(i), &CellCheckBox::toggled, this, changed);
    for (int letter = 0; letter < 6; ++letter)
        connect(chkVoice(letter, i), &CellCheckBox::toggled, this, changed);
}

std::array<QWidget*, 9> frmRudimix::columnControls(int i) const
{
    return { chkFlammed(i), VertVolume(i), VertRes(i), chkVoice(0, i), chkVoice(1, i),
        chkVoice(2, i), chkVoice(3, i), chkVoice(4, i), chkVoice(5, i) };
}

void frmRudimix::setColumnEnabled(int i, bool enabled)
{
    for (QWidget* control : columnControls(i))
        control->setEnabled(enabled);
}

// Form_Unload: closing the window, by Exit, by its close box or otherwise, ends the program.
void frmRudimix::closeEvent(QCloseEvent* event)
{
    event->accept();
    mModule.services().programEnd.endProgram();
}
