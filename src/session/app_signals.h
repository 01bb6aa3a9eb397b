// SIGTERM and SIGINT end a program cleanly: the window the way "E&xit" does,
// so that the settings files are still written; plovanctl by closing the
// port, which puts the line's settings back. The handler only writes a byte
// into a socket pair; the main thread reads it and emits terminationRequested().
#pragma once

#include <QObject>
#include <QString>
#include <signal.h>

class QSocketNotifier;

namespace plovan {

class AppSignals : public QObject {
    Q_OBJECT
public:
    explicit AppSignals(QObject* parent = nullptr);
    // Puts back the handlers that were there before install().
    ~AppSignals() override;

    // Catches SIGTERM and SIGINT. Each handler is good for one signal: a second
    // one, while a shut-down hangs, ends the program at once as it would
    // without us. Calling install() again re-arms them. Only one AppSignals
    // can be installed at a time; false (see errorString()) when it failed.
    bool install();
    QString errorString() const { return error_; }

signals:
    // `signo` is the first signal of the request (SIGTERM or SIGINT).
    void terminationRequested(int signo);

private:
    void drain();
    void restore();

    int fds_[2] = {-1, -1}; // [0] written by the handler, [1] read here
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
    bool installed_ = false;
    QString error_;
};

} // namespace plovan
