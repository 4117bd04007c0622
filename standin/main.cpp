// The stand-in host TAMBRIX.EXE, for a build without the real host. With no argument it
// initialises as the host would; on a test script it shows the pattern and plays it (or writes
// it into WAV and MIDI files). Its output also goes to TAMBRIX.LOG in its own folder (the one it
// was started from, see ownFolder()), since Rudimix starts it without a console.
#include "registry.h"
#include "standin.h"
#include "windowmain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <iostream>
#include <streambuf>
#include <string>

namespace {

// Output that reaches the console at once (a live performance follows the table by seconds)
// and is kept for the log.
class Tee : public std::streambuf {
public:
    explicit Tee(std::ostream& console)
        : mConsole(console)
    {
    }
    const std::string& text() const { return mText; }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        mText += ch;
        mConsole.put(ch);
        if (ch == '\n')
            mConsole.flush();
        return c;
    }

private:
    std::ostream& mConsole;
    std::string mText;
};

} // namespace

int main(int argc, char* argv[])
{
    // A script played live with a display goes to the practice window (see windowmain.h).
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given.append(QFile::decodeName(argv[i]));
    if (standin::wantsWindow(given)) {
        const int code = standin::runPracticeWindow(argc, argv);
        if (code != standin::kPlayInConsole)
            return code;
    }

    QCoreApplication application(argc, argv);
    const QString folder
        = standin::ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath());
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    Tee outText(std::cout);
    Tee errText(std::cerr);
    std::ostream out(&outText);
    std::ostream err(&errText);
    const int code = standin::run(arguments, folder, IniRegistry::defaultFile(), out, err);
    std::cout.flush();

    const std::string heading
        = "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
        + "  TAMBRIX.EXE " + arguments.join(u' ').toStdString() + "\n";
    const QString logFolder = standin::logFolder(arguments, folder);
    if (!logFolder.isEmpty()
        && !standin::appendLog(logFolder,
            heading + outText.text() + errText.text() + "==== exit code " + std::to_string(code)
                + "\n"))
        std::cerr << "TAMBRIX.EXE: cannot write TAMBRIX.LOG in " << logFolder.toStdString() << "\n";
    return code;
}
