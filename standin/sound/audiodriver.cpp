#include "audiodriver.h"

#include "fluidmessages.h"
#include "synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

namespace standin {

namespace {

    constexpr int kPeriodFrames = 512;

    // One of FluidSynth's drivers, asking the source for samples through a callback. Each has
    // settings of its own: a start given up may still read them on its thread.
    class FluidDriver : public AudioDriver {
    public:
        FluidDriver(fluid_settings_t* settings, std::shared_ptr<SampleSource> source)
            : mSettings(settings)
            , mSource(std::move(source))
        {
        }
        ~FluidDriver() override
        {
            if (mDriver)
                delete_fluid_audio_driver(mDriver);
            delete_fluid_settings(mSettings);
        }
        bool start() { return (mDriver = new_fluid_audio_driver2(mSettings, process, this)); }

    private:
        static int process(void* data, int len, int nfx, float* fx[], int nout, float* out[])
        {
            for (int i = 0; i < nfx; ++i)
                if (fx[i])
                    std::fill(fx[i], fx[i] + len, 0.0f);
            if (nout < 2 || !out[0] || !out[1]) {
                for (int i = 0; i < nout; ++i)
                    if (out[i])
                        std::fill(out[i], out[i] + len, 0.0f);
                return FLUID_OK;
            }
            static_cast<FluidDriver*>(data)->mSource->render(out[0], out[1], len);
            for (int i = 2; i < nout; ++i)
                if (out[i])
                    std::fill(out[i], out[i] + len, 0.0f);
            return FLUID_OK;
        }

        fluid_settings_t* mSettings;
        std::shared_ptr<SampleSource> mSource;
        fluid_audio_driver_t* mDriver = nullptr;
    };

    // "file": the source is asked for its samples in real time, and they go nowhere.
    class NullDriver : public AudioDriver {
    public:
        NullDriver(std::shared_ptr<SampleSource> source)
            : mSource(std::move(source))
            , mThread([this] { run(); })
        {
        }
        ~NullDriver() override
        {
            mRunning = false;
            mThread.join();
        }

    private:
        void run()
        {
            using Clock = std::chrono::steady_clock;
            const auto period = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(double(kPeriodFrames) / kSampleRate));
            std::array<float, kPeriodFrames> left {};
            std::array<float, kPeriodFrames> right {};
            auto next = Clock::now();
            while (mRunning) {
                mSource->render(left.data(), right.data(), kPeriodFrames);
                next += period;
                std::this_thread::sleep_until(next);
            }
        }

        std::shared_ptr<SampleSource> mSource;
        std::atomic<bool> mRunning { true };
        std::thread mThread;
    };

    class SystemDrivers : public AudioDrivers {
    public:
        SystemDrivers()
        {
            silenceFluidSynth();
            fluid_settings_t* settings = new_fluid_settings();
            char* name = nullptr;
            if (fluid_settings_dupstr(settings, "audio.driver", &name) == FLUID_OK && name) {
                mDefault = name;
                fluid_free(name);
            }
            delete_fluid_settings(settings);
        }

        std::vector<std::string> defaultNames() const override
        {
            std::vector<std::string> names { "pulseaudio" };
            if (!mDefault.empty() && mDefault != names[0])
                names.push_back(mDefault);
            return names;
        }

        std::unique_ptr<AudioDriver> start(const std::string& name, int periods,
            const std::shared_ptr<SampleSource>& source, std::string& cause) override
        {
            if (name == "file")
                return std::make_unique<NullDriver>(source);
            fluid_settings_t* settings = new_fluid_settings();
            if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) != FLUID_OK) {
                delete_fluid_settings(settings);
                cause = "no such audio driver";
                return nullptr;
            }
            fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
            fluid_settings_setint(settings, "audio.period-size", kPeriodFrames);
            fluid_settings_setint(settings, "audio.periods", periods);
            auto driver = std::make_unique<FluidDriver>(settings, source);
            takeFluidError();
            if (driver->start())
                return driver;
            cause = takeFluidError();
            if (cause.empty())
                cause = "cannot be started";
            return nullptr;
        }

    private:
        std::string mDefault;
    };

} // namespace

std::shared_ptr<AudioDrivers> systemAudioDrivers()
{
    static const std::shared_ptr<AudioDrivers> drivers = std::make_shared<SystemDrivers>();
    return drivers;
}

} // namespace standin
