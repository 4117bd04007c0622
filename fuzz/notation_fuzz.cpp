// Fuzz target for the RAW notation: the token and line reader and the writer.
//
// The input is taken as UTF-8 text (an invalid byte stands for the character of the same code,
// encoded surrogates pass through alone), so that the seed files are readable RAW lines while any
// UTF-16 text can still be reached. Properties, each checked on every input:
//  - nothing crashes and the sanitizers report nothing;
//  - the canonical token of a note (taken from the first bytes) reads back to that note, except
//    that a note without voice reads back as volume 0 on voice A;
//  - the accepted line splits into tokens that join back to it;
//  - writing the notes of an accepted line (its refused tokens skipped) gives a canonical line
//    whose tokens read back to the same notes, and that line written again is the same line;
//  - replacing one token of a line changes that piece only.
#include "notation.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace notation;

namespace {

void fail(const char* what, const std::u16string& text)
{
    std::fprintf(stderr, "notation_fuzz: %s\n  text:", what);
    for (char16_t c : text)
        std::fprintf(stderr, " %04x", unsigned(c));
    std::fprintf(stderr, "\n");
    __builtin_trap();
}

#define CHECK(condition, text)                                                                     \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fail(#condition, text);                                                                \
    } while (false)

// Lenient UTF-8: well-formed sequences of up to four bytes decode (beyond the BMP into a
// surrogate pair); any other byte becomes the character with its own code.
std::u16string decode(const std::uint8_t* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const unsigned b = data[i];
        const std::size_t length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 1;
        bool wellFormed = b < 0x80 || (length > 1 && b < 0xF5 && i + length <= size);
        for (std::size_t k = 1; wellFormed && k < length; ++k)
            wellFormed = (data[i + k] & 0xC0) == 0x80;
        if (!wellFormed || length == 1) {
            text += char16_t(b);
            ++i;
            continue;
        }
        std::uint32_t code = b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            code = (code << 6) | (data[i + k] & 0x3F);
        if (code > 0x10FFFF) {
            text += char16_t(b);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text += char16_t(0xD800 + (code >> 10));
            text += char16_t(0xDC00 + (code & 0x3FF));
        } else {
            text += char16_t(code);
        }
        i += length;
    }
    return text;
}

bool inRange(const Note& note)
{
    return note.res >= 1 && note.res <= kMaxResValue && note.vol >= 0 && note.vol <= kMaxVolume
        && note.voices >= 1 && note.voices < (1 << kVoiceCount);
}

// The writer's token for a note made from the first three bytes reads back to that note.
void checkToken(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return;
    const Note written { std::int16_t(1 + data[0] % kMaxResValue),
        std::int16_t(data[1] % (kMaxVolume + 1)), (data[2] & 1) != 0,
        std::int16_t((data[2] >> 1) & 0x3F) };
    const std::u16string token = canonicalToken(written);
    CHECK(token.size() >= 2 && token.size() <= 15, token);
    const TokenReading read = analyzeToken(token);
    CHECK(read.fault == TokenFault::None, token);
    Note expected = written;
    if (expected.voices == 0) {
        expected.vol = 0;
        expected.voices = kVoiceA;
    }
    CHECK(read.note == expected, token);
}

// The notes of the accepted tokens of a line body, refused tokens skipped.
std::vector<Note> readNotes(const std::vector<std::u16string>& tokens)
{
    std::vector<Note> notes;
    for (const std::u16string& token : tokens) {
        const TokenReading read = analyzeToken(token);
        if (read.fault != TokenFault::None)
            continue;
        CHECK(inRange(read.note), token);
        notes.push_back(read.note);
    }
    return notes;
}

std::u16string writeLine(const std::vector<Note>& notes)
{
    std::vector<std::u16string> tokens;
    for (const Note& note : notes)
        tokens.push_back(canonicalToken(note));
    return joinTokens(tokens);
}

void checkLine(const std::u16string& text, std::size_t pick)
{
    const std::u16string body = lineBody(text);
    CHECK(body.empty() || (body.front() != u' ' && body.back() != u' '), text);
    const std::vector<std::u16string> tokens = splitTokens(body);
    CHECK(joinTokens(tokens) == body, text);

    if (!tokens.empty()) {
        // Replacing one piece leaves the others as they stand.
        const std::size_t index = pick % (tokens.size() + 1);
        const std::u16string token = canonicalToken(Note {});
        const auto replaced = replaceToken(body, int(index), token);
        CHECK(replaced.has_value() == (index < tokens.size()), text);
        if (replaced) {
            std::vector<std::u16string> expected = tokens;
            expected[index] = token;
            CHECK(splitTokens(*replaced) == expected, text);
        }
    }

    if (tokens.size() > std::size_t(kMaxLineTokens))
        return; // the reader refuses the line as a whole

    const std::vector<Note> notes = readNotes(tokens);
    const std::u16string canonical = writeLine(notes);
    CHECK(lineBody(canonical) == canonical, canonical);
    const std::vector<std::u16string> again = splitTokens(canonical);
    CHECK(again.size() == notes.size(), canonical);
    for (std::size_t i = 0; i < again.size(); ++i) {
        const TokenReading read = analyzeToken(again[i]);
        CHECK(read.fault == TokenFault::None, again[i]);
        CHECK(read.note == notes[i], again[i]);
    }
    CHECK(writeLine(readNotes(again)) == canonical, canonical);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkToken(data, size);
    checkLine(decode(data, size), size > 0 ? data[size - 1] : 0);
    return 0;
}
