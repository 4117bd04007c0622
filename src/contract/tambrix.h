#pragma once

#include <string>
#include <string_view>

// What Rudimix and the host Tambrix agree on: the registry value that names the host's folder,
// the host's files, its settings file's entry, and the test script that TEST writes and the host
// reads. Rudimix's TEST, the stand-in host, the launcher and the help texts take these names from
// here.
namespace tambrix {

// The registry value, under HKEY_CURRENT_USER, that holds the host's folder (as a plain string
// in the ANSI code page); the host writes it, Rudimix only reads it.
inline constexpr char kRegistryKey[] = "software\\Quillmoor Tambrix\\";
inline constexpr char kRegistryValue[] = "ExeIniLocn";

// The host's program and settings file in its folder; the settings file's entry for the
// editor's maximum number of note columns ("32" to "64").
inline constexpr char kHostProgram[] = "TAMBRIX.EXE";
inline constexpr char kSettingsFile[] = "TAMBRIX.INI";
inline constexpr char kSettingsSection[] = "program";
inline constexpr char kMaxNotesKey[] = "MaxRudimixNotes";

// The test script in the host's folder, and the option the host is started with before its path.
inline constexpr char kTestScript[] = "DudEderava.drum";
inline constexpr char kNoTimeSignature[] = "-notimesig";

// The test script's pattern: defined by "RAW [new-rud]=" and the line, played by the line
// "[new-rud]" alone. Each line of the script ends with CR LF.
inline constexpr char kPatternName[] = "[new-rud]";
inline constexpr char kPatternDefinition[] = "RAW [new-rud]=";
inline constexpr char kLineEnd[] = "\r\n";

// The whole test script: the header's lines (without their last line end), the definition of
// the pattern with its RAW line, and the line that plays it.
inline std::string testScript(std::string_view header, std::string_view rawLine)
{
    std::string script;
    script.reserve(header.size() + rawLine.size() + 40);
    script.append(header).append(kLineEnd);
    script.append(kPatternDefinition).append(rawLine).append(kLineEnd);
    script.append(kPatternName).append(kLineEnd);
    return script;
}

} // namespace tambrix
