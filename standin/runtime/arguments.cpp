#include "arguments.h"

#include <QFile>
#include <vector>

namespace standin {

namespace {

    using Mode = CommandLine::Mode;

    std::string encoded(const QString& text)
    {
        return QFile::encodeName(text).toStdString();
    }

    struct Option {
        const char* name;
        bool takesValue;
        Mode mode; // an option of Mode::Play goes with a script; any other stands alone
        void (*apply)(CommandLine& line, const QString& value);
    };

    // Every option, one row each.
    const Option kOptions[] = {
        { "--version", false, Mode::Version, nullptr },
        { "--help", false, Mode::Help, nullptr },
        { "--stop", false, Mode::Stop, nullptr },
        { "--init", true, Mode::InitialiseFolder,
            [](CommandLine& l, const QString& v) { l.folder = v; } },
        { "-notimesig", false, Mode::Play,
            [](CommandLine& l, const QString&) { l.options.noTimeSignature = true; } },
        { "--no-window", false, Mode::Play,
            [](CommandLine& l, const QString&) { l.noWindow = true; } },
        { "--soundfont", true, Mode::Play,
            [](CommandLine& l, const QString& v) { l.options.soundFont = encoded(v); } },
        { "--audio-driver", true, Mode::Play,
            [](CommandLine& l, const QString& v) { l.options.audioDriver = v.toStdString(); } },
        { "--render", true, Mode::Play,
            [](CommandLine& l, const QString& v) { l.options.renderFile = encoded(v); } },
        { "--midi", true, Mode::Play,
            [](CommandLine& l, const QString& v) { l.options.midiFile = encoded(v); } },
        { "--sheet", true, Mode::Play,
            [](CommandLine& l, const QString& v) { l.options.sheetFile = encoded(v); } },
    };

    bool wrong(std::string& error, const std::string& what)
    {
        error = what + ". Try --help.";
        return false;
    }

    std::string quoted(const QString& argument)
    {
        return "\"" + argument.toStdString() + "\"";
    }

} // namespace

bool parseArguments(const QStringList& arguments, CommandLine& line, std::string& error)
{
    line = CommandLine();
    std::vector<const Option*> given;
    QStringList operands;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            operands.append(argument);
            continue;
        }
        const qsizetype equals
            = argument.startsWith(QLatin1String("--")) ? argument.indexOf(u'=') : -1;
        const QString name = equals < 0 ? argument : argument.left(equals);
        const Option* option = nullptr;
        for (const Option& candidate : kOptions) {
            if (name == QLatin1String(candidate.name))
                option = &candidate;
        }
        if (!option)
            return wrong(error, "unknown option " + quoted(argument));
        for (const Option* earlier : given) {
            if (earlier == option)
                return wrong(error, std::string(option->name) + " is given twice");
        }
        given.push_back(option);
        QString value;
        if (!option->takesValue && equals >= 0)
            return wrong(error, std::string(option->name) + " takes no value");
        if (option->takesValue) {
            if (equals >= 0)
                value = argument.mid(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            if (value.isEmpty())
                return wrong(error, std::string(option->name) + " needs a value");
        }
        if (option->mode != Mode::Play)
            line.mode = option->mode;
        if (option->apply)
            option->apply(line, value);
    }

    // An option that stands alone takes nothing else beside it.
    for (const Option* option : given) {
        if (option->mode == Mode::Play)
            continue;
        std::string other = operands.isEmpty() ? std::string() : quoted(operands.front());
        for (const Option* another : given) {
            if (another != option)
                other = another->name;
        }
        if (!other.empty())
            return wrong(error,
                std::string(option->name) + " takes no other argument (" + other + " given)");
    }
    if (line.mode != Mode::Initialise)
        return true;
    if (operands.size() > 1)
        return wrong(error, "one script only, not also " + quoted(operands[1]));
    if (operands.isEmpty() && !given.empty())
        return wrong(error, "no script given");
    if (!operands.isEmpty()) {
        line.mode = Mode::Play;
        line.script = operands.front();
    }
    return true;
}

} // namespace standin
