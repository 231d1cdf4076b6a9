#pragma once
// The signals that ask a program to end (SIGTERM: shutdown or `kill`; SIGINT:
// Ctrl+C; SIGHUP: logout or a closed terminal), delivered as a Qt signal on
// the user-interface thread, where the program can end as "Sair" does.
//
// The system handler only writes the signal number to one end of a socket
// pair (async-signal-safe); a socket notifier on the other end turns it into
// received() once control is back in an event loop. A process has one
// instance; the handlers stay installed for the rest of the process, so a
// second signal while the program finishes its files does not cut it short.
// A signal that was ignored when the program started stays ignored.

#include <QObject>

class QSocketNotifier;

namespace orv {

class QuitSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers. Needs the application object.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // False when the handlers could not be installed (no socket pair).
    bool installed() const { return notifier_ != nullptr; }

  signals:
    void received(int signal_number);

  private:
    void read_pending();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace orv
