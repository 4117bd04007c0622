// The RAW line writer: the line, one column's token, and the note descriptions (tooltips).
#include "cellcheckbox.h"
#include "frmrudimix.h"
#include "notation.h"

#include <QLineEdit>
#include <QScrollBar>

void frmRudimix::UpdateRAWtext(std::int16_t aiIndex)
{
    if (fbReadingRaw)
        return;
    if (aiIndex == -1) {
        showLine(wholeLine());
        return;
    }
    const QString token = MakeARAWsub(aiIndex);
    const std::optional<std::u16string> line
        = notation::replaceToken(txtRAW->text().toStdU16String(), aiIndex, token.toStdU16String());
    // Should the line ever hold fewer pieces than the column needs, it is rebuilt from the
    // columns rather than read past its end.
    showLine(line ? QString::fromStdU16String(*line) : wholeLine());
}

// The line is shown from its start, however long it is.
void frmRudimix::showLine(const QString& line)
{
    txtRAW->setText(line);
    txtRAW->setCursorPosition(0);
}

// The tokens of columns 0 .. fiNumNotes - 1 joined by ","; every description is refreshed.
QString frmRudimix::wholeLine()
{
    QString line;
    const int count = std::min<int>(fiNumNotes, columnCount());
    for (int i = 0; i < count; ++i)
        line += QLatin1Char(',') + MakeARAWsub(std::int16_t(i));
    return line.mid(1);
}

QString frmRudimix::MakeARAWsub(std::int16_t aiIndex)
{
    QString res;
    std::int16_t vol = 0;
    bool flammed = false;
    QString voiceList;
    QString toolTip;
    MakeARawSubParts(aiIndex, res, vol, flammed, voiceList, toolTip);

    const QString token
        = res + QString::number(vol) + (flammed ? QStringLiteral("X") : QString()) + voiceList;
    chkFlammed(aiIndex)->setToolTip(toolTip);
    for (int letter = 0; letter < notation::kVoiceCount; ++letter)
        chkVoice(letter, aiIndex)->setToolTip(toolTip);
    // The description is what a screen reader says after the control's name, on every control
    // of the column.
    for (QWidget* control : columnControls(aiIndex))
        control->setAccessibleDescription(toolTip);
    return token;
}

void frmRudimix::MakeARawSubParts(std::int16_t aiIndex, QString& asRes, std::int16_t& aiVol,
    bool& abFlammed, QString& asVoiceList, QString& asToolTip)
{
    notation::Note note;
    note.res = std::int16_t(fiMaxResValue + 1 - VertRes(aiIndex)->value());
    note.vol = std::int16_t(notation::volFromPosition(VertVolume(aiIndex)->value()));
    note.flammed = chkFlammed(aiIndex)->isChecked();
    note.voices = 0;
    for (int letter = 0; letter < notation::kVoiceCount; ++letter)
        if (chkVoice(letter, aiIndex)->isChecked())
            note.voices = std::int16_t(note.voices | (1 << letter));

    const notation::TokenParts parts = notation::tokenParts(note);
    asRes = QString::fromStdU16String(parts.res);
    aiVol = parts.vol;
    abFlammed = parts.flammed;
    asVoiceList = QString::fromStdU16String(parts.voiceList);
    asToolTip = QString::fromStdU16String(notation::describeNote(aiIndex, parts));
}
