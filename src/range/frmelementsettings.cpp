#include "frmelementsettings.h"

#include "classicui.h"

#include "basicval.h"
#include "classiccontrols.h"
#include "frmrudimix.h"
#include "rangemath.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <algorithm>

namespace {

// Places are given in twips.
void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(classic::twips(left, top, width, height));
}

const char* const kNoteTypes[] = {
    "1 - Quarter Note",
    "2 - 8th Note",
    "3 - 8th Note Triplet (12th Note)",
    "4 - 16th Note",
    "5 - 16th Note Triplet (24th Note)",
    "6 - 32nd Note",
    "7 - 32nd Note Triplet (48th Note)",
    "8 - 8th Note Quintuplet (20th Note)",
    "9 - 5 over 3 16ths",
    "A - Note A",
    "B - Note B",
    "C - Note C",
    "D - Note D",
    "E - Note E",
    "F - Note F",
};

bool labelFits(const QWidget* w)
{
    const auto* label = static_cast<const QLabel*>(w);
    const QRect box = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, box.width(), 100000),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label->text());
    return needed.height() <= box.height() && needed.width() <= box.width();
}

bool optionFits(const QWidget* w)
{
    const auto* option = static_cast<const QRadioButton*>(w);
    QStyleOptionButton style;
    style.initFrom(option);
    const QRect contents
        = option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option);
    return option->fontMetrics().horizontalAdvance(option->text()) <= contents.width();
}

} // namespace

frmElementSettings::frmElementSettings(frmRudimix& editor, QWidget* parent)
    : QDialog(parent ? parent : &editor)
    , fxEditor(editor)
{
    Form_Load();
}

void frmElementSettings::Form_Load()
{
    setObjectName(QStringLiteral("frmElementSettings"));
    setWindowTitle(QStringLiteral("Change Multiple Note Settings"));
    // A fixed dialog: a caption and a close box, nothing to minimise or maximise.
    setWindowFlags(
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(classic::sansFont(8.25, false));
    setFixedSize(classic::twips(0, 0, 6300, 3495).size());
    createControls();
    fbActivated = false;
}

void frmElementSettings::createControls()
{
    // Created in tab order; the labels and frames take no focus.
    Label1 = new QLabel(
        QStringLiteral("The items on this screen rely on the settings of the two horizontal "
                       "scrollbars on the previous screen for determining which elements you "
                       "want to change."),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    Label1->setPalette(blue);
    place(Label1, 60, 30, 6225, 1065);
    shrinkToFit({ Label1 }, classic::sansFont(12, true), labelFits);

    cmdClose = new WrapButton(QStringLiteral("CLOSE"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    place(cmdClose, 5340, 2970, 945, 495);

    // The lists and the option buttons are small: a narrow drop-down arrow lets the volume
    // list show its digit, a narrow gap lets the option captions keep the window's font.
    auto* compact = new CompactStyle(style()->name());
    compact->setParent(this);

    SSFrame1 = new CaptionFrame(QStringLiteral("Volume Changes"), this);
    SSFrame1->setObjectName(QStringLiteral("SSFrame1"));
    place(SSFrame1, 90, 1380, 5925, 975);

    optVolume[0] = new QRadioButton(QStringLiteral("Set all to this volume"), SSFrame1);
    optVolume[0]->setObjectName(QStringLiteral("optVolume_0"));
    optVolume[0]->setStyle(compact);
    place(optVolume[0], 780, 540, 1785, 255);

    optVolume[1] = new QRadioButton(QStringLiteral("(De)Crescendo"), SSFrame1);
    optVolume[1]->setObjectName(QStringLiteral("optVolume_1"));
    optVolume[1]->setStyle(compact);
    optVolume[1]->setToolTip(
        QStringLiteral("This will apply a straight-line (de)crescendo using the selected "
                       "range's start and end volumes"));
    place(optVolume[1], 3090, 540, 1395, 255);

    // One group: exactly one of the two is selected, (De)Crescendo at each opening.
    optVolumeGroup = new QButtonGroup(this);
    optVolumeGroup->setExclusive(true);
    optVolumeGroup->addButton(optVolume[0], 0);
    optVolumeGroup->addButton(optVolume[1], 1);
    optVolume[1]->setChecked(true);
    shrinkToFit({ optVolume[0], optVolume[1] }, font(), optionFits);

    cmdSetVolume = new WrapButton(QStringLiteral("Apply Volume Changes"), SSFrame1);
    cmdSetVolume->setObjectName(QStringLiteral("cmdSetVolume"));
    place(cmdSetVolume, 4980, 180, 885, 705);

    SSFrame2 = new CaptionFrame(QStringLiteral("Note Type"), this);
    SSFrame2->setObjectName(QStringLiteral("SSFrame2"));
    place(SSFrame2, 90, 2400, 4005, 1035);

    cmdApplyNoteChanges = new WrapButton(QStringLiteral("Apply Note Type Changes"), SSFrame2);
    cmdApplyNoteChanges->setObjectName(QStringLiteral("cmdApplyNoteChanges"));
    place(cmdApplyNoteChanges, 3060, 150, 885, 825);

    cboVolume = new QComboBox(SSFrame1);
    cboVolume->setObjectName(QStringLiteral("cboVolume"));
    cboVolume->setStyle(compact);
    for (int v = 1; v <= 9; ++v)
        cboVolume->addItem(QString::number(v));
    place(cboVolume, 210, 510, 465, 315);

    cboType = new QComboBox(SSFrame2);
    cboType->setObjectName(QStringLiteral("cboType"));
    cboType->setStyle(compact);
    int code = 0;
    for (const char* text : kNoteTypes)
        cboType->addItem(QString::fromLatin1(text), ++code);
    place(cboType, 180, 420, 2805, 315);
    // The open list is wide enough for the longest name, even where the box is not.
    cboType->view()->setMinimumWidth(cboType->view()->sizeHintForColumn(0) + 8);
    // The lists are named for a screen reader by the captions of their frames (on Linux, where
    // a list's name is its value, the frame's caption is its label).
    cboVolume->setAccessibleName(QStringLiteral("Volume"));
    cboType->setAccessibleName(SSFrame2->title());

    QWidget* const tabOrder[] = { cmdClose, optVolume[0], optVolume[1], cmdSetVolume,
        cmdApplyNoteChanges, cboVolume, cboType };
    for (std::size_t k = 1; k < std::size(tabOrder); ++k)
        setTabOrder(tabOrder[k - 1], tabOrder[k]);

    // No button reacts to Enter by itself: each acts only when it is pressed.
    for (QPushButton* button : { cmdClose, cmdSetVolume, cmdApplyNoteChanges }) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(cmdApplyNoteChanges, &QPushButton::clicked, this,
        &frmElementSettings::cmdApplyNoteChanges_Click);
    connect(cmdSetVolume, &QPushButton::clicked, this, &frmElementSettings::cmdSetVolume_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmElementSettings::cmdClose_Click);
}

// Steps the font of the widgets down from its size until every widget's caption fits: the
// window was drawn for a narrower face than the sans faces installed here.
void frmElementSettings::shrinkToFit(
    std::initializer_list<QWidget*> widgets, QFont font, bool (*fits)(const QWidget*))
{
    for (qreal points = font.pointSizeF(); points >= 6; points -= 0.25) {
        font.setPointSizeF(points);
        for (QWidget* w : widgets)
            w->setFont(font);
        if (std::all_of(widgets.begin(), widgets.end(), fits))
            return;
    }
}

// ---- opening and closing ----

bool frmElementSettings::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        Form_Activate();
    return QDialog::event(e);
}

void frmElementSettings::showEvent(QShowEvent* e)
{
    // The presets are in place before the window first appears; its activation then finds
    // them done.
    Form_Activate();
    QDialog::showEvent(e);
}

// The list presets, once per opening: volume "5", type "1 - Quarter Note", focus in the type
// list. Later activations (returning from another program) leave the user's choices alone.
void frmElementSettings::Form_Activate()
{
    if (fbActivated)
        return;
    fbActivated = true;
    cboVolume->setCurrentIndex(cboVolume->findText(QStringLiteral("5")));
    cboType->setCurrentIndex(0);
    cboType->setFocus(Qt::ActiveWindowFocusReason);
}

void frmElementSettings::keyPressEvent(QKeyEvent* e)
{
    // Only CLOSE and the close box end the window: Escape does not.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void frmElementSettings::cmdClose_Click()
{
    close();
}

// ---- the edits ----

std::optional<frmElementSettings::Range> frmElementSettings::readRange() const
{
    if (!fxEditor.txtFrom || !fxEditor.txtTo)
        return std::nullopt;
    const auto from = basic::toInt16(basic::val(fxEditor.txtFrom->text()));
    const auto to = basic::toInt16(basic::val(fxEditor.txtTo->text()));
    if (!from || !to)
        return std::nullopt;
    return Range { *from - 1, *to - 1 };
}

bool frmElementSettings::columnExists(int i) const
{
    return i >= 0 && i < fxEditor.columnCount() && fxEditor.VertRes(i) && fxEditor.VertVolume(i);
}

void frmElementSettings::cmdApplyNoteChanges_Click()
{
    const frmRudimix::PatternStep apply(fxEditor); // one Apply, one step of the editor's history
    const std::optional<Range> range = readRange();
    fiNoteType = std::int16_t(cboType->currentData().toInt());
    if (range && fiNoteType >= 1 && fiNoteType <= fxEditor.fiMaxResValue) {
        const int position = fxEditor.fiMaxResValue + 1 - fiNoteType;
        const int last = std::min(range->iTo, fxEditor.columnCount() - 1);
        for (int i = std::max(range->iFrom, 0); i <= last; ++i)
            if (columnExists(i))
                fxEditor.VertRes(i)->setValue(position);
    }
    QCoreApplication::processEvents();
}

void frmElementSettings::cmdSetVolume_Click()
{
    const frmRudimix::PatternStep apply(fxEditor);
    const std::optional<Range> range = readRange();
    std::optional<std::int16_t> start;
    float step = 0.0f;
    if (!range) {
        // the range texts are not numbers: nothing to change
    } else if (optVolume[0]->isChecked()) {
        start = basic::toInt16(basic::val(cboVolume->currentText()));
    } else if (columnExists(range->iFrom) && columnExists(range->iTo)) {
        // The line runs from the first note's volume to the last note's.
        const int pFrom = fxEditor.VertVolume(range->iFrom)->value();
        const int pTo = fxEditor.VertVolume(range->iTo)->value();
        start = std::int16_t(9 - pFrom);
        step = rangemath::crescendoStep(pFrom, pTo, range->iFrom, range->iTo);
    }
    if (start) {
        const int last = std::min(range->iTo, fxEditor.columnCount() - 1);
        for (int i = std::max(range->iFrom, 0); i <= last; ++i) {
            const std::optional<int> position
                = rangemath::volumePosition(i - range->iFrom, step, *start);
            if (position && columnExists(i))
                fxEditor.VertVolume(i)->setValue(*position);
        }
    }
    QCoreApplication::processEvents();
}
