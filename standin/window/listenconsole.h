#pragma once

#include "listener.h"
#include "transport.h"

#include <QObject>
#include <QTimer>

// TAMBRIX.EXE --listen: a Listener polled beside the window's transport, every stroke, miss,
// extra and loop line on stdout as it is decided, the input's problems on stderr.
namespace standin {

class ListenConsole : public QObject {
    Q_OBJECT
public:
    explicit ListenConsole(Transport& transport, QObject* parent = nullptr);

    // Opens the input and starts polling; false, with error set, when it cannot be opened.
    bool start(const InputChoice& choice, std::string& error);
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
