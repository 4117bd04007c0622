#include "savefile.h"

#include "outputtarget.h"
#include "regularfile.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <sys/stat.h>

namespace standin {

QString askSavePath(QWidget* parent, const SaveDialog& settings)
{
    // The dialog adds the suffix itself, so that it asks before replacing the file it names.
    QFileDialog dialog(parent, settings.title, settings.folder, settings.filter);
    dialog.setObjectName(settings.objectName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(settings.suffix);
    dialog.selectFile(settings.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    QString path = chosen;
    if (!path.endsWith(u'.' + settings.suffix, Qt::CaseInsensitive))
        path += u'.' + settings.suffix;
    if (path != chosen && QFileInfo::exists(path)
        && QMessageBox::question(parent, settings.title,
               QStringLiteral("%1 already exists.\nDo you want to replace it?")
                   .arg(QFileInfo(path).fileName()))
            != QMessageBox::Yes)
        return {};
    return path;
}

bool writeChecked(const QString& path, const std::string& bytes, QString& error)
{
    const std::filesystem::path target(QFile::encodeName(path).toStdString());
    std::string reason;
    struct stat existing { };
    const bool exists = ::stat(QFile::encodeName(path).constData(), &existing) == 0;
    if (!checkOutputTarget(target, reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    const regular::Result written = regular::write(target, bytes, exists ? &existing : nullptr);
    if (!written.ok()) {
        error = QStringLiteral("cannot write %1: %2")
                    .arg(path, QString::fromStdString(written.reason()));
        return false;
    }
    return true;
}

} // namespace standin
