#include "listenconsole.h"

#include <QMetaMethod>
#include <iostream>

namespace standin {

namespace {

    constexpr int kPollMilliseconds = 4; // a stroke's line within a few ms of its note-on

} // namespace

ListenConsole::ListenConsole(Transport& transport, QObject* parent)
    : QObject(parent)
    , mTransport(transport)
{
    mTimer.setTimerType(Qt::PreciseTimer);
    mTimer.setInterval(kPollMilliseconds);
    connect(&mTimer, &QTimer::timeout, this, &ListenConsole::poll);
}

bool ListenConsole::open(const InputChoice& choice, std::string& error)
{
    if (!mListener.start(choice, error))
        return false;
    for (const std::string& line : mListener.opened())
        std::cout << "TAMBRIX.EXE: listening to the " << line << "\n";
    std::cout << std::flush;
    return true;
}

void ListenConsole::resume()
{
    if (mListener.listening())
        mTimer.start();
}

bool ListenConsole::start(const InputChoice& choice, std::string& error)
{
    if (!open(choice, error))
        return false;
    resume();
    return true;
}

void ListenConsole::stop()
{
    mTimer.stop();
    if (mListener.listening())
        std::cout << "TAMBRIX.EXE: not listening" << std::endl;
    mListener.stop();
}

PlaybackView ListenConsole::view()
{
    PlaybackView view;
    view.playing = mTransport.playing();
    view.playCount = mTransport.playCount();
    view.schedule = &mTransport.schedule();
    view.progress = &mTransport.progress();
    mClock = mTransport.clock();
    view.clock = &mClock;
    view.bufferSeconds = mTransport.bufferSeconds();
    return view;
}

void ListenConsole::poll()
{
    const std::vector<MatchEvent> events = mListener.poll(view());
    for (const MatchEvent& event : events)
        std::cout << eventLine(event) << "\n";
    if (!events.empty()) {
        std::cout << std::flush;
        emit decided(events);
    }
    for (const std::string& text : mListener.takeProblems()) {
        // The window reports it itself (status line, stderr, log).
        if (!isSignalConnected(QMetaMethod::fromSignal(&ListenConsole::problem)))
            std::cerr << "TAMBRIX.EXE: " << text << std::endl;
        emit problem(QString::fromStdString(text));
    }
}

} // namespace standin
