#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The note record and the RAW notation: canonical tokens and lines (what the writer makes) and
// the wider form that the reader accepts. Texts are UTF-16, as the windows hold them.
namespace notation {

inline constexpr std::int16_t kMaxResValue = 15; // highest note type
inline constexpr std::int16_t kMaxVolume = 9;
inline constexpr std::int16_t kVoiceA = 1; // voice set bit of voice A; bit k is voice 'A' + k
inline constexpr int kVoiceCount = 6;
inline constexpr int kMaxLineTokens = 32; // the most tokens a line that is read may have

// One note. res: type 1..15; vol: 0..9; voices: bit mask, bit 0 voice A .. bit 5 voice F.
struct Note {
    std::int16_t res = 1;
    std::int16_t vol = 1;
    bool flammed = false;
    std::int16_t voices = kVoiceA;
    friend bool operator==(const Note&, const Note&) = default;
};

// Column mapping: scroll bar positions of a note's type and volume, both ways.
constexpr int resPosition(int res) { return kMaxResValue + 1 - res; }
constexpr int resFromPosition(int position) { return kMaxResValue + 1 - position; }
constexpr int volPosition(int vol) { return kMaxVolume - vol; }
constexpr int volFromPosition(int position) { return kMaxVolume - position; }

// ---- Reading ---------------------------------------------------------------------------

enum class TokenFault {
    None,
    VoiceCharacter, // a voice item outside "A".."F" (an empty item included)
    NoteTypeCharacter, // the first character of the note part is none of "1"-"9", "A"-"F"
};

struct TokenReading {
    TokenFault fault = TokenFault::None;
    Note note; // meaningful when fault is None
};

// One token in the accepted form. The voice list is checked before the type character, so a
// token with both faults reports the voice fault.
TokenReading analyzeToken(std::u16string_view token);

// Steps 1 and 2 of reading a line: everything up to and including the first "=" dropped, then
// the leading and trailing spaces (the space character only).
std::u16string lineBody(std::u16string_view line);

// Splits at every ","; n commas give n + 1 pieces; the empty text gives none.
std::vector<std::u16string> splitTokens(std::u16string_view text);

// ---- Writing ---------------------------------------------------------------------------

// The parts of a note's canonical token, as the writer adjusts them: no voice gives volume 0
// and an empty voice list; voice A alone gives an empty voice list; otherwise ">" and the
// letters joined by "+".
struct TokenParts {
    std::u16string res; // type character
    std::int16_t vol = 0;
    bool flammed = false;
    std::u16string voiceList;
};

std::u16string typeCharacter(int res);
TokenParts tokenParts(const Note& note);
std::u16string joinParts(const TokenParts& parts);
std::u16string canonicalToken(const Note& note);
// The note description put on a column's check boxes as their tooltip; index is 0-based.
std::u16string describeNote(int index, const TokenParts& parts);

// Joins tokens with ",".
std::u16string joinTokens(const std::vector<std::u16string>& tokens);

// Replaces piece index of line (split at ",") by token, leaving the other pieces as they
// stand. Nothing when the line has fewer than index + 1 pieces.
std::optional<std::u16string> replaceToken(std::u16string_view line, int index,
    std::u16string_view token);

} // namespace notation
