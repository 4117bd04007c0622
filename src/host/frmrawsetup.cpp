#include "frmrawsetup.h"

#include "basicval.h"
#include "classicui.h"
#include "modrudimix.h"
#include "tambrix.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>

namespace {

// A place given in twips, as the window's layout is drawn up, turned into pixels.
QPlainTextEdit* textBox(QWidget* parent, const QString& name, const QRect& place)
{
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setGeometry(place);
    box->setFont(classic::fixedFont(9));
    box->setTabChangesFocus(true); // Tab leaves the box, as in every other control
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // long lines wrap
    return box;
}

QPushButton* button(
    QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* cmd = new QPushButton(caption, parent);
    cmd->setObjectName(name);
    cmd->setGeometry(place);
    cmd->setFont(classic::sansFont(13.5, true));
    return cmd;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* lbl = new QLabel(caption, parent);
    lbl->setObjectName(name);
    lbl->setGeometry(place);
    lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return lbl;
}

} // namespace

frmRAWsetup::frmRAWsetup(modRudimix& module, QWidget* parent)
    : QDialog(parent)
    , mModule(module)
{
    setObjectName(QStringLiteral("frmRAWsetup"));
    setWindowTitle(QStringLiteral("Setup"));
    setFont(classic::sansFont(8, false));
    setFixedSize(classic::twips(0, 0, 7455, 5670).size());
    setSizeGripEnabled(false);

    buildControls();
    Form_Load();

    // Centred on the screen, not over the editor.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(QStyle::alignedRect(
            Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

QString frmRAWsetup::tailText()
{
    const QLatin1String end(tambrix::kLineEnd);
    return QLatin1String(tambrix::kPatternDefinition) + QStringLiteral("{{what you've created}}")
        + end + QLatin1String(tambrix::kPatternName) + end;
}

QString frmRAWsetup::panelCaption()
{
    return QStringLiteral("Maximum Number of Notes (stored in tambrix.ini): ");
}

void frmRAWsetup::buildControls()
{
    txtHeader = textBox(this, QStringLiteral("txtHeader"), classic::twips(60, 450, 7305, 2835));
    txtHeader->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Label1 = label(this, QStringLiteral("Label1"),
        QStringLiteral("The following will be placed at the top of the file (DUDederava.drum) "
                       "that's created"),
        classic::twips(90, 30, 7305, 285));
    Label2 = label(this, QStringLiteral("Label2"),
        QStringLiteral("The following will be placed at the bottom of the test file:"),
        classic::twips(60, 3390, 7305, 285));

    // Shows the fixed end of the test script; nothing reads it back.
    txtTail = textBox(this, QStringLiteral("txtTail"), classic::twips(30, 3750, 7335, 645));
    txtTail->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtTail->setPlainText(tailText());
    txtTail->setReadOnly(true);
    QPalette grey = txtTail->palette();
    grey.setColor(QPalette::Base, QColor(192, 192, 192));
    txtTail->setPalette(grey);

    cmdOK = button(
        this, QStringLiteral("cmdOK"), QStringLiteral("OK"), classic::twips(3870, 5160, 1425, 465));
    cmdOK->setDefault(true);
    cmdCancel = button(this, QStringLiteral("cmdCancel"), QStringLiteral("CANCEL"),
        classic::twips(2190, 5160, 1425, 465));

    SSPanel1 = new QFrame(this);
    SSPanel1->setObjectName(QStringLiteral("SSPanel1"));
    SSPanel1->setGeometry(classic::twips(30, 4440, 7365, 615));
    SSPanel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    SSPanel1->setLineWidth(2);
    // The caption is centred on the whole panel; its closing blank keeps it clear of the list.
    SSPanel1Caption = new QLabel(panelCaption(), SSPanel1);
    SSPanel1Caption->setObjectName(QStringLiteral("SSPanel1Caption"));
    SSPanel1Caption->setGeometry(SSPanel1->contentsRect());
    SSPanel1Caption->setAlignment(Qt::AlignCenter);

    cboMaxNotes = new QComboBox(SSPanel1);
    cboMaxNotes->setObjectName(QStringLiteral("cboMaxNotes"));
    cboMaxNotes->setGeometry(classic::twips(5580, 150, 585, 315));
    cboMaxNotes->setEditable(false);
    for (int n = 32; n <= 64; ++n)
        cboMaxNotes->addItem(QString::number(n));

    // Names for a screen reader: the boxes by the captions above them, the list by the panel's.
    txtHeader->setAccessibleName(QStringLiteral("Top of the test file"));
    txtHeader->setAccessibleDescription(Label1->text());
    txtHeader->verticalScrollBar()->setAccessibleName(
        QStringLiteral("Top of the test file scroll bar"));
    txtTail->setAccessibleName(QStringLiteral("Bottom of the test file"));
    txtTail->setAccessibleDescription(Label2->text());
    // A list is named by its caption; where the desktop reads a list's value as its name (on
    // Linux), the caption comes through as its label.
    cboMaxNotes->setAccessibleName(panelCaption().section(QStringLiteral(": "), 0, 0));
    SSPanel1Caption->setBuddy(cboMaxNotes);

    QWidget* const order[]
        = { txtHeader, Label1, Label2, txtTail, cmdOK, cmdCancel, SSPanel1, cboMaxNotes };
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmRAWsetup::Form_Load()
{
    mShownHeader = mModule.gsTestHeader;
    txtHeader->setPlainText(mShownHeader);
    mShownText = headerBoxText();
    // Start-up keeps the maximum within the list; anything else leaves the list unselected.
    cboMaxNotes->setCurrentIndex(cboMaxNotes->findText(QString::number(mModule.giMaxNotes)));
    txtHeader->setFocus();
}

QString frmRAWsetup::headerBoxText() const
{
    // The box's own characters: the plain-text view would turn every no-break space into a
    // blank. Paragraph ends and soft line breaks are line ends.
    QString text = txtHeader->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

QString frmRAWsetup::editedHeader() const
{
    QString text = headerBoxText();
    // Untouched, the header goes back exactly as it came, whatever its line ends were.
    if (text == mShownText)
        return mShownHeader;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

void frmRAWsetup::cmdOK_Click()
{
    mModule.gsTestHeader = editedHeader();

    if (cboMaxNotes->currentIndex() >= 0) {
        const QString text = cboMaxNotes->currentText();
        const std::optional<std::int16_t> maxNotes = basic::toInt16(basic::val(text));
        if (maxNotes && *maxNotes != mModule.giMaxNotes) {
            const MsgAnswer answer = mModule.services().dialogs.messageBox(
                QStringLiteral("This program has to be restarted when the Maximum number of "
                               "notes is changed.")
                    + QStringLiteral("\n\n") + QStringLiteral("Are you sure you want to do this?"),
                QStringLiteral("Confirm restart"), MsgIcon::Question, MsgButtons::YesNo);
            if (answer == MsgAnswer::Yes && storeMaxNotes(*maxNotes, text)) {
                mModule.services().programEnd.endProgram();
                return;
            }
        }
    }
    accept();
}

void frmRAWsetup::cmdCancel_Click()
{
    reject();
}

bool frmRAWsetup::storeMaxNotes(std::int16_t maxNotes, const QString& text)
{
    QString reason;
    if (mModule.gfnINIput(QLatin1String(tambrix::kSettingsSection),
            QLatin1String(tambrix::kMaxNotesKey), text, &reason)
        == -1) {
        mModule.giMaxNotes = maxNotes;
        return true;
    }
    // The program keeps running with the columns it has; the file still holds the old value.
    if (reason.isEmpty())
        reason = QStringLiteral("the file could not be written");
    mModule.services().dialogs.messageBox(
        QStringLiteral("The maximum number of notes could not be stored in ")
            + QDir::toNativeSeparators(mModule.gsSettingsFile) + QStringLiteral(": ") + reason
            + QStringLiteral(".") + QStringLiteral("\n\n")
            + QStringLiteral("The maximum stays at %1 and the program goes on running.")
                  .arg(mModule.giMaxNotes),
        modRudimix::programTitle(), MsgIcon::Error);
    return false;
}
