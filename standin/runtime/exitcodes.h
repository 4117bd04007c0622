#pragma once

// Every exit code of the stand-in host TAMBRIX.EXE, in one place.
namespace standin {

// The run as a whole: 0 done, 1 a script at fault, 2 wrong arguments, 3 --init failed.
enum ExitCode { Success = 0, BadScript = 1, BadArguments = 2, InitialisationFailed = 3 };

// What can go wrong with the sound, the lock and the output files; the values are exit codes.
enum class SoundResult {
    Ok = 0,
    NoSoundFont = 4,
    BadSoundFont = 5,
    NoAudioDevice = 6,
    CannotWriteOutput = 7,
    PlayerNotStopped = 8, // the performance playing could not be ended
    LockUnusable = 9, // the performance lock file or its folder cannot be used
};

// Not an exit code: the practice window could not open (its display does not answer), so the
// performance plays in the console instead.
inline constexpr int kPlayInConsole = -1;

} // namespace standin
