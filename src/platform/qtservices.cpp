#include "qtservices.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

MsgAnswer QtDialogs::messageBox(
    const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("inputBox"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    // A one-line field: a text pasted into it keeps its first line, and shows no more.
    if (auto* field = dialog.findChild<QLineEdit*>()) {
        QObject::connect(field, &QLineEdit::textChanged, field, [field](const QString& text) {
            if (firstLine(text) != text)
                field->setText(firstLine(text));
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    // The field takes a pasted text with its line ends; only its first line counts.
    return firstLine(dialog.textValue());
}

void QtClipboard::setText(const QString& text)
{
    QApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

namespace {

// Installed when the program ends: swallows every event that would run a handler of a window
// or a control afterwards, while the application is being taken down.
class EndedProgramFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Timer:
        case QEvent::MetaCall:
        case QEvent::Close:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return event->isInputEvent();
        }
    }
};

} // namespace

void RealProgramEnd::endProgram()
{
    std::fflush(nullptr);
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        std::_Exit(0);
    if (!mEnded)
        application->installEventFilter(new EndedProgramFilter(application));
    mEnded = true;
    QCoreApplication::exit(0);
}
