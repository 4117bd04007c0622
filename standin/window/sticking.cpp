#include "sticking.h"

#include <QMenu>
#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <cctype>

namespace standin {

namespace {

    const QString kGroup = QStringLiteral("sticking");

    std::string joined(const std::vector<std::string>& hands)
    {
        std::string text;
        for (std::size_t i = 0; i < hands.size(); ++i)
            text += (i > 0 ? "," : "") + hands[i];
        return text;
    }

    std::vector<std::string> split(const std::string& text)
    {
        std::vector<std::string> hands;
        if (text.empty())
            return hands;
        std::size_t start = 0;
        for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos;) {
            hands.push_back(text.substr(start, comma - start));
            start = comma + 1;
        }
        hands.push_back(text.substr(start));
        return hands;
    }

    std::string upper(std::string text)
    {
        for (char& c : text)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }

    // "[name]" or "name", upper case with its brackets: how patterns are matched.
    std::string key(std::string name)
    {
        name = upper(std::move(name));
        if (name.empty() || name.front() != '[')
            name = "[" + name + "]";
        return name;
    }

    struct Line {
        std::string text;
        std::string ending;
    };

    // The lines as the script reader counts them: ended by CR LF, LF or CR.
    std::vector<Line> lines(const std::string& bytes)
    {
        std::vector<Line> out;
        std::size_t start = 0;
        while (start < bytes.size()) {
            const std::size_t end = bytes.find_first_of("\r\n", start);
            if (end == std::string::npos) {
                out.push_back({ bytes.substr(start), "" });
                break;
            }
            const std::size_t length = bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1;
            out.push_back({ bytes.substr(start, end - start), bytes.substr(end, length) });
            start = end + length;
        }
        return out;
    }

    // The name as the RAW line spells it in the file's own bytes ("RAW [Fill]=..." gives
    // "[Fill]"); empty when the line does not read so.
    std::string spelledName(std::string text)
    {
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            text.erase(0, 3);
        const std::size_t equals = text.find('=');
        std::size_t start = text.find_first_not_of(" \t");
        if (equals == std::string::npos || start == std::string::npos
            || upper(text.substr(start, 3)) != "RAW")
            return {};
        start = text.find_first_not_of(" \t", start + 3);
        std::size_t end = text.find_last_not_of(" \t", equals - 1);
        if (start == std::string::npos || end == std::string::npos || end < start || start > equals)
            return {};
        return text.substr(start, end - start + 1);
    }

} // namespace

std::string nextHand(const std::string& hands)
{
    if (hands.empty())
        return "R";
    if (hands == "R")
        return "L";
    if (hands == "L")
        return "RL";
    return "";
}

void alternateFrom(std::vector<std::string>& hands, const std::vector<PatternNote>& notes, int note)
{
    if (note < 0 || std::size_t(note) >= notes.size())
        return;
    if (hands.size() < notes.size())
        hands.resize(notes.size());
    bool right = hands[std::size_t(note)] != "L";
    for (std::size_t n = std::size_t(note); n < notes.size(); ++n) {
        if (notes[n].note.vol == 0) {
            hands[n].clear();
            continue;
        }
        hands[n].assign(1, right ? 'R' : 'L');
        right = !right;
    }
}

bool alternateChosen(QWidget* parent, const QPoint& at)
{
    QMenu menu(parent);
    QAction* alternate = menu.addAction(QStringLiteral("Alternate from here"));
    alternate->setObjectName(QStringLiteral("alternateAction"));
    return menu.exec(at) == alternate;
}

std::vector<std::string> trimmed(std::vector<std::string> hands)
{
    while (!hands.empty() && hands.back().empty())
        hands.pop_back();
    return hands;
}

std::string withStickings(
    const std::string& bytes, const Script& script, const std::vector<Sticking>& stickings)
{
    std::vector<Line> text = lines(bytes);
    std::vector<bool> removed(text.size(), false);
    std::vector<std::vector<std::string>> after(text.size()); // lines to write after each
    bool changed = false;
    for (const Sticking& sticking : stickings) {
        const std::vector<std::string> hands = trimmed(sticking.hands);
        const Sticking* own = findSticking(script, sticking.name);
        if (own ? trimmed(own->hands) == hands : hands.empty())
            continue;
        int line = 0;
        if (key(sticking.name) == key(std::string(kPatternName)))
            line = script.definitionLine;
        else if (const PatternDefinition* pattern = findPattern(script, sticking.name))
            line = pattern->line;
        if (line < 1 || std::size_t(line) > text.size())
            continue;
        changed = true;
        if (own && own->line >= 1 && std::size_t(own->line) <= text.size())
            removed[std::size_t(own->line - 1)] = true;
        if (hands.empty())
            continue;
        std::string name = spelledName(text[std::size_t(line - 1)].text);
        if (name.empty())
            name = sticking.name;
        after[std::size_t(line - 1)].push_back(stickingLine(name, hands));
    }
    if (!changed)
        return bytes;
    std::string ending = "\r\n";
    for (const Line& l : text)
        if (!l.ending.empty()) {
            ending = l.ending;
            break;
        }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!removed[i])
            out += text[i].text + text[i].ending;
        for (const std::string& added : after[i]) {
            if (!out.empty() && out.back() != '\n' && out.back() != '\r')
                out += ending;
            out += added + ending;
        }
    }
    return out;
}

QString rawLineOf(const PracticeSchedule& schedule, SectionKind kind)
{
    QStringList tokens;
    for (const PatternNote& p : schedule.notes(kind))
        tokens.append(QString::fromStdU16String(notation::canonicalToken(p.note)));
    return QStringLiteral("RAW ") + QString::fromStdString(schedule.name(kind)) + u'='
        + tokens.join(u',');
}

std::vector<std::string> StickingMemory::recall(const QString& raw) const
{
    const int count = mSettings.beginReadArray(kGroup);
    std::vector<std::string> hands;
    for (int i = 0; i < count; ++i) {
        mSettings.setArrayIndex(i);
        if (mSettings.value(QStringLiteral("raw")).toString() == raw) {
            hands = split(mSettings.value(QStringLiteral("hands")).toString().toStdString());
            break;
        }
    }
    mSettings.endArray();
    return hands;
}

void StickingMemory::remember(const QString& raw, const std::vector<std::string>& hands)
{
    QStringList raws, kept;
    const int count = mSettings.beginReadArray(kGroup);
    for (int i = 0; i < count; ++i) {
        mSettings.setArrayIndex(i);
        const QString line = mSettings.value(QStringLiteral("raw")).toString();
        if (line != raw) {
            raws.append(line);
            kept.append(mSettings.value(QStringLiteral("hands")).toString());
        }
    }
    mSettings.endArray();
    const std::vector<std::string> given = trimmed(hands);
    if (!given.empty()) {
        raws.prepend(raw);
        kept.prepend(QString::fromStdString(joined(given)));
    }
    mSettings.remove(kGroup);
    mSettings.beginWriteArray(kGroup, int(std::min<qsizetype>(raws.size(), kRememberedLines)));
    for (int i = 0; i < raws.size() && i < kRememberedLines; ++i) {
        mSettings.setArrayIndex(i);
        mSettings.setValue(QStringLiteral("raw"), raws[i]);
        mSettings.setValue(QStringLiteral("hands"), kept[i]);
    }
    mSettings.endArray();
}

} // namespace standin
