#pragma once

#include "listener.h"
#include "transport.h"

#include <QObject>
#include <QTimer>

// Listening beside the window's transport: a Listener polled every 4 ms, every stroke, miss,
// extra and loop line on stdout as it is decided, the input's problems on stderr. TAMBRIX.EXE
// --listen opens it before the first note plays (before the application exists); the window's
// Listen button opens and closes it.
namespace standin {

class ListenConsole : public QObject {
    Q_OBJECT
public:
    explicit ListenConsole(Transport& transport, QObject* parent = nullptr);

    // Opens the input (says so on stdout); false, with error set, when it cannot be opened.
    // open() alone does not poll yet: resume() does, once an application exists.
    bool open(const InputChoice& choice, std::string& error);
    void resume();
    bool start(const InputChoice& choice, std::string& error);
    void stop();
    Listener& listener() { return mListener; }
    PlaybackView view();

signals:
    void decided(const std::vector<standin::MatchEvent>& events);
    void problem(const QString& text);

private:
    void poll();

    Transport& mTransport;
    Listener mListener;
    PlaybackClock mClock;
    QTimer mTimer;
};

} // namespace standin
