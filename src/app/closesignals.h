#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the GUI thread, so that a request to end the
// program from outside (kill, Ctrl+C, the session going away) closes it the orderly way and
// the station files are saved.
class CloseSignals : public QObject {
    Q_OBJECT
public:
    explicit CloseSignals(QObject* parent = nullptr);
    ~CloseSignals() override;

signals:
    void closeRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
