#include "drivermessages.h"

namespace standin {

namespace {

    // A driver's cause in the user's words: the first row whose driver (empty: any) and words
    // match. %s stands for the driver's name, %d for the device named in quotes in the cause.
    struct Wording {
        const char* driver;
        const char* contains;
        const char* words;
    };

    const Wording kWordings[] = {
        { "pulseaudio", "Connection refused",
            "the PulseAudio server refused the connection (is it running?)" },
        { "pulseaudio", "Access denied", "the PulseAudio server refused this user" },
        { "pulseaudio", "did not start within",
            "the PulseAudio server did not answer within 2 seconds (is it stopped?)" },
        { "pulseaudio", kStoppedTakingSound,
            "the PulseAudio server stopped taking sound (did it end or restart?)" },
        { "alsa", "Failed to open", "ALSA's %d device could not be opened" },
        { "alsa", "did not start within", "ALSA's device did not answer within 2 seconds" },
        { "alsa", kStoppedTakingSound,
            "the ALSA device stopped taking sound (did another program take it?)" },
        { "jack", "Jack server", "no JACK server is running" },
        { "", "no such audio driver", "FluidSynth has no audio driver \"%s\"" },
        { "", "did not start within", "%s did not answer within 2 seconds" },
        { "", kStoppedTakingSound, "%s stopped taking sound" },
    };

    // The text between the first pair of double quotes in the cause ("default" in 'Failed to
    // open the "default" audio device').
    std::string quotedDevice(const std::string& cause)
    {
        const auto open = cause.find('"');
        const auto close = open == std::string::npos ? open : cause.find('"', open + 1);
        return close == std::string::npos ? "default" : cause.substr(open + 1, close - open - 1);
    }

    std::string fill(const std::string& words, const DriverFailure& failure)
    {
        std::string text;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (words[i] == '%' && i + 1 < words.size()
                && (words[i + 1] == 's' || words[i + 1] == 'd')) {
                text += words[i + 1] == 's' ? failure.driver : quotedDevice(failure.cause);
                ++i;
            } else {
                text += words[i];
            }
        }
        return text;
    }

    std::string describe(const DriverFailure& failure)
    {
        for (const Wording& w : kWordings) {
            if ((*w.driver == 0 || failure.driver == w.driver)
                && failure.cause.find(w.contains) != std::string::npos)
                return fill(w.words, failure);
        }
        return failure.driver + ": " + failure.cause;
    }

} // namespace

std::string noSoundMessage(const std::vector<DriverFailure>& failures)
{
    std::string text = "No sound: ";
    for (std::size_t i = 0; i < failures.size(); ++i)
        text += (i ? "; " : "") + describe(failures[i]);
    if (failures.empty())
        text += "no audio driver could be started";
    return text + ".";
}

} // namespace standin
