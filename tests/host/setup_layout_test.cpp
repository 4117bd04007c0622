#include "setup_fixture.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComboBox>

namespace {

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The window's controls in tab order, with their places in twips (relative to the client
// area, cboMaxNotes relative to SSPanel1).
struct Place {
    const char* name;
    QRect rect;
};
const Place kPlaces[] = {
    { "txtHeader", twips(60, 450, 7305, 2835) },
    { "Label1", twips(90, 30, 7305, 285) },
    { "Label2", twips(60, 3390, 7305, 285) },
    { "txtTail", twips(30, 3750, 7335, 645) },
    { "cmdOK", twips(3870, 5160, 1425, 465) },
    { "cmdCancel", twips(2190, 5160, 1425, 465) },
    { "SSPanel1", twips(30, 4440, 7365, 615) },
    { "cboMaxNotes", twips(5580, 150, 585, 315) },
};

} // namespace

TEST_F(SetupWindowTest, ControlsStandAtTheirPlaces)
{
    auto window = open();
    EXPECT_EQ(window->size(), QSize(497, 378)); // 7455 x 5670 twips
    for (const Place& p : kPlaces) {
        SCOPED_TRACE(p.name);
        auto* control = window->findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->isVisible());
        EXPECT_EQ(control->geometry(), p.rect);
    }
    EXPECT_EQ(window->cboMaxNotes->parentWidget(), window->SSPanel1);
    EXPECT_EQ(window->SSPanel1->frameShadow(), QFrame::Raised);
}

TEST_F(SetupWindowTest, WindowIsCentredOnTheScreen)
{
    auto window = open();
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    const QPoint offset = window->geometry().center() - screenCentre;
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

TEST_F(SetupWindowTest, TabOrderFollowsTheTable)
{
    auto window = open();
    QStringList order;
    QWidget* w = window->txtHeader;
    do {
        for (const Place& p : kPlaces)
            if (w->objectName() == QLatin1String(p.name))
                order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != window->txtHeader);
    QStringList expected;
    for (const Place& p : kPlaces)
        expected << QString::fromLatin1(p.name);
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(window->txtHeader->tabChangesFocus());
}

TEST_F(SetupWindowTest, TextBoxesAndButtonsLookAsDrawnUp)
{
    auto window = open();
    for (QPlainTextEdit* box : { window->txtHeader, window->txtTail }) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_TRUE(QFontInfo(box->font()).fixedPitch());
        EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 9.0);
    }
    EXPECT_EQ(window->txtHeader->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(window->txtHeader->isReadOnly());
    EXPECT_TRUE(window->txtTail->isReadOnly());
    EXPECT_EQ(window->txtTail->palette().color(QPalette::Base), QColor(192, 192, 192));
    for (QPushButton* button : { window->cmdOK, window->cmdCancel }) {
        SCOPED_TRACE(button->objectName().toStdString());
        EXPECT_TRUE(button->font().bold());
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 13.5);
    }
    EXPECT_EQ(window->cmdOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(window->cmdCancel->text(), QStringLiteral("CANCEL"));
    EXPECT_EQ(window->SSPanel1Caption->text(),
        QStringLiteral("Maximum Number of Notes (stored in tambrix.ini): "));
}

// Whatever fonts stand in on the machine, every text fits its control.
TEST_F(SetupWindowTest, EveryTextFitsItsControl)
{
    auto window = open();
    for (QLabel* label : { window->Label1, window->Label2 }) {
        SCOPED_TRACE(label->objectName().toStdString());
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        EXPECT_LE(metrics.height(), label->height());
    }
    for (QPushButton* button : { window->cmdOK, window->cmdCancel }) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QFontMetrics metrics(button->font());
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width());
        EXPECT_LE(metrics.height(), button->height());
    }

    // Header lines of the default header need no wrapping; ten of them fit without scrolling.
    QPlainTextEdit* header = window->txtHeader;
    const QFontMetrics fixed(header->font());
    const int textWidth = header->viewport()->width() - 2 * header->document()->documentMargin();
    for (const QString& line : defaultHeader().split(QStringLiteral("\r\n")))
        EXPECT_LE(fixed.horizontalAdvance(line), textWidth) << line.toStdString();
    EXPECT_EQ(header->verticalScrollBar()->maximum(), 0);

    // Both tail lines are in full view.
    QPlainTextEdit* tail = window->txtTail;
    EXPECT_LE(2 * fixed.lineSpacing() + 2 * tail->document()->documentMargin(),
        tail->viewport()->height());
    EXPECT_LE(fixed.horizontalAdvance(QStringLiteral("RAW [new-rud]={{what you've created}}")),
        tail->viewport()->width());

    // The panel caption stands clear of the list.
    QLabel* caption = window->SSPanel1Caption;
    const QRect captionText
        = caption->style()
              ->itemTextRect(QFontMetrics(caption->font()), caption->contentsRect(),
                  int(caption->alignment()), true, caption->text())
              .translated(caption->pos());
    EXPECT_FALSE(captionText.intersects(window->cboMaxNotes->geometry()));
    EXPECT_TRUE(caption->rect().translated(caption->pos()).contains(captionText));

    // The list's edit field shows a two-digit number in full.
    QStyleOptionComboBox option;
    option.initFrom(window->cboMaxNotes);
    option.editable = false;
    option.currentText = QStringLiteral("64");
    const QRect field = window->cboMaxNotes->style()->subControlRect(
        QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, window->cboMaxNotes);
    EXPECT_LE(QFontMetrics(window->cboMaxNotes->font()).horizontalAdvance(QStringLiteral("64")),
        field.width());
}
