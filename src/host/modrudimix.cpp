#include "modrudimix.h"

#include "ansi.h"
#include "basicval.h"
#include "settingsfile.h"
#include "tambrix.h"

#include <cstdio>
#include <exception>

namespace {

// Handed to the INI reader as the default: getting it back means the key is absent.
const char* const kNoDefault = "#$%*&$#$%#";

} // namespace

modRudimix::modRudimix(Services& services)
    : mServices(services)
{
}

QString modRudimix::programTitle()
{
    return QStringLiteral("Rudimix");
}

bool modRudimix::Main()
{
    gsHostFolder = gfnRegGetString(HKEY_CURRENT_USER, QString::fromLatin1(tambrix::kRegistryKey),
        QString::fromLatin1(tambrix::kRegistryValue));
    if (gsHostFolder.isEmpty())
        gsHostFolder = ownFolder;
    gsHostFolder = settingsfile::absoluteFolder(gsHostFolder);
    gsSettingsFile = gfnAddBackslash(gsHostFolder) + QLatin1String(tambrix::kSettingsFile);

    // The system would not find a settings file by that path even where there is one.
    if (gsSettingsFile.size() > settingsfile::longestPath()) {
        mServices.dialogs.messageBox(
            hostFolderTooLong(gsHostFolder,
                settingsfile::longestPath() - (gsSettingsFile.size() - gsHostFolder.size()))
                + QStringLiteral("\n\nMove Tambrix to a folder with a shorter name and run "
                                 "TAMBRIX.EXE once there."),
            QStringLiteral("Host folder name too long"), MsgIcon::Warning);
        mServices.programEnd.endProgram();
        return false;
    }

    if (!gfnFileExists(gsSettingsFile) || settingsfile::unusable(gsSettingsFile)) {
        mServices.dialogs.messageBox(
            QStringLiteral("You have to run the TAMBRIX.EXE file once to initialize before you "
                           "can continue with this program."),
            QStringLiteral("TAMBRIX.EXE has to be Initialized!"), MsgIcon::Warning);
        mServices.programEnd.endProgram();
        return false;
    }

    const QString stored = gfnINIgetBasic(QLatin1String(tambrix::kSettingsSection),
        QLatin1String(tambrix::kMaxNotesKey), QStringLiteral("32"), gsSettingsFile);
    // A value that does not fit a 16-bit integer is as invalid as any other outside 32..64.
    const std::optional<std::int16_t> maxNotes = basic::toInt16(basic::val(stored));
    giMaxNotes = maxNotes.value_or(0);
    if (!maxNotes || giMaxNotes < 32 || giMaxNotes > 64) {
        mServices.dialogs.messageBox(
            QStringLiteral("The maximum number of notes has to be between 32 and 64"),
            QStringLiteral("Invalid number of notes"), MsgIcon::Information);
        mServices.programEnd.endProgram();
        return false;
    }

    if (showEditor)
        showEditor();
    return true;
}

QString modRudimix::gfnRegGetString(HKEY root, const QString& keyPath, const QString& valueName)
{
    // No usable value: the caller takes its own folder. A failure is said on stderr.
    try {
        return regGetString(root, keyPath, valueName);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Registry value %s not read: %s\n",
            valueName.toLocal8Bit().constData(), e.what());
        return QString();
    }
}

QString modRudimix::regGetString(HKEY root, const QString& keyPath, const QString& valueName)
{
    return ansi::toUnicode(readStringValue(
        mServices.registry, root, ansi::fromUnicode(keyPath), ansi::fromUnicode(valueName)));
}

QString modRudimix::gfnINIgetBasic(
    const QString& section, const QString& key, const QString& defaultValue, const QString& file)
{
    try {
        const std::string value = settingsfile::read(
            file, ansi::fromUnicode(section), ansi::fromUnicode(key), kNoDefault, 1024);
        if (value.empty())
            return QString(QLatin1String(""));
        if (value != kNoDefault)
            return ansi::toUnicode(value);
        const QString fallback = defaultValue.isNull() ? QString(QLatin1String("")) : defaultValue;
        gfnINIputBasic(section, key, fallback, file);
        return fallback;
    } catch (const std::exception& e) {
        mServices.dialogs.messageBox(
            QStringLiteral("Error in gfnINIgetBasic:") + QString::fromLocal8Bit(e.what()),
            programTitle(), MsgIcon::None);
        return QString(QLatin1String(""));
    }
}

bool modRudimix::gfnINIputBasic(const QString& section, const QString& key, const QString& value,
    const QString& file, QString* error)
{
    std::string reason;
    const bool ok = settingsfile::write(file, ansi::fromUnicode(section), ansi::fromUnicode(key),
        ansi::fromUnicode(value), &reason);
    if (!ok && error)
        *error = QString::fromLocal8Bit(reason.c_str());
    return ok;
}

std::int16_t modRudimix::gfnINIput(
    const QString& section, const QString& key, const QString& value, QString* error)
{
    return gfnINIputBasic(section, key, value, gsSettingsFile, error) ? -1 : 0;
}

QString modRudimix::gfnAddBackslash(const QString& folder)
{
    return settingsfile::folderSeparator() == u'\\' ? addBackslashWindows(folder)
                                                    : addBackslashPosix(folder);
}

QString modRudimix::addBackslashWindows(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(u'\\') || folder.endsWith(u':'))
        return folder;
    return folder + u'\\';
}

QString modRudimix::addBackslashPosix(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

bool modRudimix::gfnFileExists(const QString& path)
{
    return settingsfile::exists(path);
}

QString modRudimix::hostFolderTooLong(const QString& folder, qsizetype longest)
{
    return QStringLiteral("The host folder's name is too long (%1 characters, at most %2):\n\n%3")
        .arg(folder.size())
        .arg(longest)
        .arg(wrappedPath(folder));
}

QString modRudimix::wrappedPath(const QString& path, qsizetype width)
{
    QString wrapped;
    qsizetype from = 0;
    while (path.size() - from > width) {
        // After the last separator that leaves the line at least half full, else at the width.
        qsizetype end = from + width;
        for (qsizetype i = end; i > from + width / 2; --i) {
            if (path[i - 1] == u'\\' || path[i - 1] == u'/') {
                end = i;
                break;
            }
        }
        wrapped += path.mid(from, end - from) + u'\n';
        from = end;
    }
    return wrapped + path.mid(from);
}

QString modRudimix::gfnReplaceAll(
    const QString& text, const QString& search, const QString& replacement)
{
    if (search.isEmpty())
        return text;
    QString result = text;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = result.indexOf(search, from, Qt::CaseSensitive);
        if (at < 0)
            return result;
        result.replace(at, search.size(), replacement);
        from = at + replacement.size(); // inserted text is never searched again
    }
}
