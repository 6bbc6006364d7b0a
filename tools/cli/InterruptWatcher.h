#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGINT (Ctrl-C) into a Qt signal in the main thread. The signal handler only writes one
// byte into a pipe; the event loop reads it and emits interrupted().
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    // Installs the handler; false (with the default disposition left in place) when the pipe or
    // the handler cannot be had. One watcher per process.
    bool install();

signals:
    void interrupted();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier;
    bool installed = false;
};
