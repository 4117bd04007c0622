// The editor window's controls: the menu bar, the start layout of 32 note columns, and the
// columns that AddMoreControls adds for a larger maximum.
#include "barstyle.h"
#include "cellcheckbox.h"
#include "editorlayout.h"
#include "frmrudimix.h"
#include "modrudimix.h"
#include "picturebutton.h"
#include "pictures.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>

using namespace editorlayout;

namespace {

// The classic dialog fonts at 8.25 points (11 pixels at 96 dots per inch). Where they are
// missing, the metric-compatible Liberation fonts stand in.
QFont classicFont(const QString& family)
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
            { QStringLiteral("Liberation Sans"), QStringLiteral("Arial") });
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        return true;
    }();
    (void)substituted;
    QFont font(family);
    font.setPixelSize(11);
    return font;
}

QScrollBar* makeBar(
    Qt::Orientation orientation, int minimum, int maximum, int value, QWidget* parent)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setStyle(ClassicBarStyle::shared());
    bar->setPalette(ClassicBarStyle::palette(bar->palette()));
    bar->setRange(minimum, maximum);
    bar->setValue(value);
    // One position per arrow click and per click on the track; a dragged thumb raises its
    // change once, when it is let go.
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setTracking(false);
    return bar;
}

QScrollBar* copyBar(const QScrollBar* original, QWidget* parent)
{
    QScrollBar* bar = makeBar(original->orientation(), original->minimum(), original->maximum(),
        original->value(), parent);
    bar->setFont(original->font());
    bar->setGeometry(original->geometry());
    bar->setEnabled(original->isEnabled());
    return bar;
}

CellCheckBox* copyCheck(const CellCheckBox* original, QWidget* parent)
{
    auto* box = new CellCheckBox(parent);
    box->setChecked(original->isChecked());
    box->setFont(original->font());
    box->setGeometry(original->geometry());
    box->setEnabled(original->isEnabled());
    return box;
}

QLabel* makeLabel(const QString& caption, const QRect& place, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    return label;
}

QLineEdit* makeRangeText(const QString& name, const QString& text, int top, QWidget* parent)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setTextMargins(0, 0, 0, 0);
    box->setAlignment(Qt::AlignCenter);
    QPalette grey = box->palette();
    grey.setColor(QPalette::Base, QColor(192, 192, 192));
    box->setPalette(grey);
    box->setGeometry(38, top, 21, 17);
    return box;
}

// Element i of a control array takes its place from element 0 and the pitch between elements
// 0 and 1; it shows, disabled.
template <typename Control> void placeNewElements(const std::vector<Control*>& array, int first)
{
    const int top = array[0]->y();
    const int left0 = array[0]->x();
    const int pitch = array[1]->x() - array[0]->x();
    for (int i = first; i < int(array.size()); ++i) {
        Control* element = array[std::size_t(i)];
        element->move(pitch * i + left0, top);
        element->setEnabled(false);
        element->show();
    }
}

} // namespace

void frmRudimix::createMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    const auto command = [bar](const char* name, const QString& caption) {
        QAction* action = bar->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    mnuExit = command("mnuExit", QStringLiteral("E&xit"));
    mnuPaste = command("mnuPaste", QStringLiteral("&Paste from Clipboard"));
    mnuCopy = command("mnuCopy", QStringLiteral("&Copy to Clipboard"));
    mnuSetNumber = command("mnuSetNumber", QStringLiteral("Set &Number of Items"));
    connect(mnuExit, &QAction::triggered, this, &frmRudimix::mnuExit_Click);
    connect(mnuPaste, &QAction::triggered, this, &frmRudimix::mnuPaste_Click);
    connect(mnuCopy, &QAction::triggered, this, &frmRudimix::mnuCopy_Click);
    connect(mnuSetNumber, &QAction::triggered, this, &frmRudimix::mnuSetNumber_Click);
}

// The window as it starts, before its load sequence: 32 columns with the start values, columns
// 0 to 7 enabled. Nothing raises an event while the controls are made.
void frmRudimix::createControls()
{
    mClient = new QWidget(this);
    mClient->setObjectName(QStringLiteral("clientArea"));
    mClient->setFont(classicFont(QStringLiteral("MS Sans Serif")));
    setCentralWidget(mClient);
    fitClientArea(kClientWidth);

    txtRAW = new QLineEdit(mClient);
    txtRAW->setObjectName(QStringLiteral("txtRAW"));
    txtRAW->setReadOnly(true); // the user may select and copy, not type
    txtRAW->setFont(classicFont(QStringLiteral("Arial")));
    txtRAW->setGeometry(12, 2, 525, 21);

    Label1[0] = makeLabel(QStringLiteral("Flammed?"), { 22, 38, 53, 15 }, mClient);
    Label1[1] = makeLabel(QStringLiteral("Volume:"), { 34, 94, 41, 15 }, mClient);
    Label1[2] = makeLabel(QStringLiteral("Note Type:"), { 22, 198, 53, 19 }, mClient);
    Label1[3] = makeLabel(QStringLiteral("From:"), { 2, 368, 31, 15 }, mClient);
    Label1[4] = makeLabel(QStringLiteral("To:"), { 2, 386, 31, 15 }, mClient);
    for (int k = 0; k < 5; ++k)
        Label1[std::size_t(k)]->setObjectName(QStringLiteral("Label1_%1").arg(k));
    for (int k = 0; k < 6; ++k) {
        QLabel* label = makeLabel(QStringLiteral("Voice %1:").arg(QChar(u'A' + k)),
            { 14, 268 + 16 * k, 59, 13 }, mClient);
        label->setObjectName(QStringLiteral("lblVoice_%1").arg(k));
        lblVoice[std::size_t(k)] = label;
    }

    for (int i = 0; i < kStartColumns; ++i)
        createColumn(i);

    cmdTest = new PictureButton(QStringLiteral("TEST"), pictures::testPicture(), mClient);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    cmdTest->setGeometry(482, 38, 55, 59);
    cmdTest->setToolTip(
        QStringLiteral("Run the above through the TAMBRIX to hear how it sounds by itself"));
    cmdSetup = new PictureButton(QStringLiteral("SETUP"), pictures::setupPicture(), mClient);
    cmdSetup->setObjectName(QStringLiteral("cmdSetup"));
    cmdSetup->setGeometry(482, 104, 55, 57);
    cmdSetup->setToolTip(
        QStringLiteral("This allows you to setup how TAMBRIX will play this (repeats, etc.)"));
    cmdRangeSet = new PictureButton(QStringLiteral("Range..."), pictures::rangePicture(), mClient);
    cmdRangeSet->setObjectName(QStringLiteral("cmdRangeSet"));
    cmdRangeSet->setGeometry(482, 344, 55, 57);
    cmdRangeSet->setToolTip(QStringLiteral(
        "Apply changes to the selected range of notes (indicated by the blue line)"));

    // The glyph sheet and the note picture box are kept but not shown: they would lie across
    // the last columns, and nothing draws into them or reads them.
    picStuff = new QLabel(mClient);
    picStuff->setObjectName(QStringLiteral("picStuff"));
    picStuff->setGeometry(454, 178, 83, 99);
    picStuff->setAutoFillBackground(true);
    QPalette white = picStuff->palette();
    white.setColor(QPalette::Window, Qt::white);
    picStuff->setPalette(white);
    picStuff->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picStuff->setPixmap(pictures::glyphSheet());
    picStuff->hide();
    picDescribeNote = new QFrame(mClient);
    picDescribeNote->setObjectName(QStringLiteral("picDescribeNote"));
    picDescribeNote->setGeometry(482, 284, 47, 59);
    picDescribeNote->setFrameShape(QFrame::Panel);
    picDescribeNote->setFrameShadow(QFrame::Sunken);
    picDescribeNote->hide();

    lineSettings = new QFrame(mClient);
    lineSettings->setObjectName(QStringLiteral("lineSettings"));
    lineSettings->setAutoFillBackground(true);
    QPalette blue = lineSettings->palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 192));
    lineSettings->setPalette(blue);
    setLine(kColumnLeft, 460);

    txtFrom = makeRangeText(QStringLiteral("txtFrom"), QStringLiteral("1"), 366, mClient);
    txtTo = makeRangeText(QStringLiteral("txtTo"), QStringLiteral("32"), 384, mClient);
    HVolFrom = makeBar(Qt::Horizontal, 1, kStartColumns, 1, mClient);
    HVolFrom->setObjectName(QStringLiteral("HVolFrom"));
    HVolFrom->setGeometry(62, 368, 413, 15);
    HVolTo = makeBar(Qt::Horizontal, 1, kStartColumns, 8, mClient);
    HVolTo->setObjectName(QStringLiteral("HVolTo"));
    HVolTo->setGeometry(62, 386, 413, 15);

    // Names for a screen reader, as the captions beside the controls read.
    txtRAW->setAccessibleName(QStringLiteral("RAW line"));
    txtFrom->setAccessibleName(QStringLiteral("From"));
    txtTo->setAccessibleName(QStringLiteral("To"));
    HVolFrom->setAccessibleName(QStringLiteral("Range from"));
    HVolTo->setAccessibleName(QStringLiteral("Range to"));

    for (int i = 0; i < kStartColumns; ++i) {
        wireColumn(i);
        nameColumn(i);
    }
    connect(HVolFrom, &QScrollBar::valueChanged, this, &frmRudimix::HVolFrom_Change);
    connect(HVolTo, &QScrollBar::valueChanged, this, &frmRudimix::HVolTo_Change);
    connect(cmdTest, &PictureButton::clicked, this, &frmRudimix::cmdTest_Click);
    connect(cmdSetup, &PictureButton::clicked, this, &frmRudimix::cmdSetup_Click);
    connect(cmdRangeSet, &PictureButton::clicked, this, &frmRudimix::cmdRangeSet_Click);
}

// Column i with the start values, at its place in the row.
void frmRudimix::createColumn(int i)
{
    const int left = kColumnLeft + kColumnPitch * i;
    const bool enabled = i < kStartEnabledColumns;

    auto* flam = new CellCheckBox(mClient);
    flam->setObjectName(QStringLiteral("chkFlammed_%1").arg(i));
    flam->setGeometry(left, kFlamTop, kCheckWidth, kFlamHeight);
    mChkFlammed.push_back(flam);

    QScrollBar* volume = makeBar(Qt::Vertical, 0, 9, kStartVolumePosition, mClient);
    volume->setObjectName(QStringLiteral("VertVolume_%1").arg(i));
    volume->setGeometry(left, kVolumeTop, kBarWidth, kBarHeight);
    mVertVolume.push_back(volume);

    QScrollBar* res = makeBar(Qt::Vertical, 1, 15, kStartResPosition, mClient);
    res->setObjectName(QStringLiteral("VertRes_%1").arg(i));
    res->setGeometry(left, kResTop, kBarWidth, kBarHeight);
    mVertRes.push_back(res);

    for (int letter = 0; letter < 6; ++letter) {
        auto* voice = new CellCheckBox(mClient);
        voice->setObjectName(QStringLiteral("chkVoice%1_%2").arg(QChar(u'A' + letter)).arg(i));
        voice->setGeometry(left, kVoiceTop + kVoicePitch * letter, kCheckWidth, kVoiceHeight);
        voice->setChecked(letter == 0);
        mChkVoice[std::size_t(letter)].push_back(voice);
    }
    setColumnEnabled(i, enabled);
}

// Each control of column i tells a screen reader which note and which part it is; the note's
// description follows as the writer refreshes it.
void frmRudimix::nameColumn(int i)
{
    const QString note = QStringLiteral("Note %1 ").arg(i + 1);
    VertRes(i)->setAccessibleName(note + QStringLiteral("type"));
    VertVolume(i)->setAccessibleName(note + QStringLiteral("volume"));
    chkFlammed(i)->setAccessibleName(note + QStringLiteral("flam"));
    for (int letter = 0; letter < 6; ++letter)
        chkVoice(letter, i)->setAccessibleName(
            note + QStringLiteral("voice ") + QChar(u'A' + letter));
}

void frmRudimix::AddMoreControls()
{
    const int first = columnCount();
    const int count = mModule.giMaxNotes;
    if (count <= first)
        return;

    // Each new element is a copy of element 0 of its array, as it stands now.
    for (int i = first; i < count; ++i) {
        const auto name
            = [i](const char* array) { return QStringLiteral("%1_%2").arg(array).arg(i); };
        mVertVolume.push_back(copyBar(VertVolume(0), mClient));
        mVertVolume.back()->setObjectName(name("VertVolume"));
        mVertRes.push_back(copyBar(VertRes(0), mClient));
        mVertRes.back()->setObjectName(name("VertRes"));
        mChkFlammed.push_back(copyCheck(chkFlammed(0), mClient));
        mChkFlammed.back()->setObjectName(name("chkFlammed"));
        for (int letter = 0; letter < 6; ++letter) {
            auto& array = mChkVoice[std::size_t(letter)];
            array.push_back(copyCheck(array[0], mClient));
            array.back()->setObjectName(
                QStringLiteral("chkVoice%1_%2").arg(QChar(u'A' + letter)).arg(i));
        }
    }
    placeNewElements(mVertVolume, first);
    placeNewElements(mVertRes, first);
    placeNewElements(mChkFlammed, first);
    for (const auto& array : mChkVoice)
        placeNewElements(array, first);
    for (int i = first; i < count; ++i) {
        wireColumn(i);
        nameColumn(i);
    }

    const int last = chkFlammed(count - 1)->x();
    txtRAW->resize(last + 75, txtRAW->height());
    cmdRangeSet->move(last + 32, cmdRangeSet->y());
    cmdSetup->move(cmdRangeSet->x(), cmdSetup->y());
    cmdTest->move(cmdRangeSet->x(), cmdTest->y());
    HVolFrom->resize(last - 37, HVolFrom->height());
    HVolTo->resize(HVolFrom->width(), HVolTo->height());
    HVolFrom->setMaximum(count);
    HVolTo->setMaximum(count);
    fitClientArea(last + kClientExtra);
}

void frmRudimix::fitClientArea(int width)
{
    mClient->setFixedSize(width, kClientHeight);
}
