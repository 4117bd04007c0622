// The RAW line reader: ReadRawText loads a line into the columns, AnalyzeSub reads one token.
#include "cellcheckbox.h"
#include "frmrudimix.h"
#include "modrudimix.h"
#include "notation.h"

#include <QLineEdit>
#include <QScrollBar>

void frmRudimix::ReadRawText(QString asRawText)
{
    const PatternStep step(*this);
    const std::u16string body = notation::lineBody(asRawText.toStdU16String());
    const std::vector<std::u16string> tokens = notation::splitTokens(body);
    if (tokens.size() > std::size_t(notation::kMaxLineTokens)) {
        mModule.services().dialogs.messageBox(
            QStringLiteral("Too many notes in this RAW text.\n\nI can only handle a maximum of 32"),
            QStringLiteral("Too many notes!"), MsgIcon::Information);
        return;
    }

    // While the columns fill, their change events must not rebuild the line from half-loaded
    // columns.
    struct ReadingGuard {
        bool& flag;
        explicit ReadingGuard(bool& f)
            : flag(f)
        {
            flag = true;
        }
        ~ReadingGuard() { flag = false; }
    } guard(fbReadingRaw);

    fiNumNotes = std::int16_t(tokens.size());
    for (std::size_t i = 0; i < tokens.size() && int(i) < columnCount(); ++i) {
        std::int16_t res = 0;
        std::int16_t vol = 0;
        bool flammed = false;
        std::int16_t voices = 0;
        if (!AnalyzeSub(QString::fromStdU16String(tokens[i]), res, vol, flammed, voices))
            continue; // the column keeps its note
        const int column = int(i);
        VertRes(column)->setValue(fiMaxResValue + 1 - res);
        VertVolume(column)->setValue(notation::volPosition(vol));
        chkFlammed(column)->setChecked(flammed);
        for (int letter = 0; letter < notation::kVoiceCount; ++letter)
            chkVoice(letter, column)->setChecked((voices & (1 << letter)) != 0);
    }
    showLine(QString::fromStdU16String(body));
}

bool frmRudimix::AnalyzeSub(const QString& asNote, std::int16_t& aiRes, std::int16_t& aiVol,
    bool& abFlammed, std::int16_t& aiVoices)
{
    const notation::TokenReading reading = notation::analyzeToken(asNote.toStdU16String());
    switch (reading.fault) {
    case notation::TokenFault::VoiceCharacter:
        mModule.services().dialogs.messageBox(QStringLiteral("Voice Character is invalid"),
            QStringLiteral("Invalid Raw String"), MsgIcon::Error);
        return false;
    case notation::TokenFault::NoteTypeCharacter:
        // A type that no column can show is refused like a bad voice: the column keeps its note.
        mModule.services().dialogs.messageBox(QStringLiteral("Note Type Character is invalid"),
            QStringLiteral("Invalid Raw String"), MsgIcon::Error);
        return false;
    case notation::TokenFault::None:
        break;
    }
    aiVoices = reading.note.voices;
    aiRes = reading.note.res;
    aiVol = reading.note.vol;
    abFlammed = reading.note.flammed;
    return true;
}
