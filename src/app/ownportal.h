#pragma once

#include "app/portalchoice.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <optional>

class QProcess;

// The listings portal the program runs as its own child, when its stations name a portal on
// this machine that nothing serves and it has listings sources to serve there. The child never
// outlives the program, and a portal someone else runs is never started or stopped by it.
class OwnPortal : public QObject {
    Q_OBJECT
public:
    // A child that died is started again after a pause that doubles from the first up to the
    // longest; once a child has served this long, the next pause is the first again.
    static constexpr std::chrono::milliseconds kFirstPause{1000};
    static constexpr std::chrono::milliseconds kLongestPause{60000};
    static constexpr std::chrono::milliseconds kServedAWhile{30000};
    // How long a child asked to end (SIGTERM) may take before it is killed: the portal ends
    // at once, cutting short a download, and the program waits for it on its way out.
    static constexpr int kEndWaitMs = 3000;

    // `program`: the portal to run, portalProgram() unless given.
    explicit OwnPortal(QObject* parent = nullptr, const QString& program = portalProgram());
    ~OwnPortal() override;

    // ekranik-portal beside the program's own executable, else the one on PATH; empty when
    // there is neither.
    static QString portalProgram();
    // The bundled demo listings: in the installed data folder, else (in a build tree) in the
    // source tree's data/. Served moved to today, with the station map beside them.
    static QString demoListings();

    // Different sources restart a child that runs, on the same address.
    void setSources(const QStringList& sources);
    // Decides from the station list where the portal is, and starts or stops the child.
    void reconsider(const QList<QByteArray>& stationEntries, const QList<bool>& checks);
    // "HOST:PORT" of the portal the station list asks (the chosen one); empty before the first
    // reconsider().
    QString portalAddress() const;
    // The portal the station list asks; nothing before the first reconsider().
    const std::optional<PortalChoice>& choice() const { return m_choice; }
    // A child of ours runs there, or is to be started again.
    bool isOurs() const;
    // The running child's process id; 0 when none runs.
    qint64 childId() const;

signals:
    // A child was started and is reading the listings.
    void reading();
    // Its listings are in.
    void serving();
    // The child could not read the listings and waits; its /channels.json says why.
    void readingFailed();
    // What happened to the child, and the portal's own messages.
    void logged(const QStringList& lines);

private:
    void decide();
    void start();
    void stop();
    void readOutput();
    void readErrors();
    void childEnded(const QString& how);
    QStringList arguments() const;

    QString m_program;
    QStringList m_sources;
    std::optional<PortalChoice> m_choice;
    QProcess* m_child = nullptr; // owned as a QObject child; deleted later once it ended
    QTimer m_restart;
    std::chrono::milliseconds m_pause = kFirstPause;
    QElapsedTimer m_servingFor;
    // Said once per address: someone else's portal answers there.
    bool m_saidNotOurs = false;
};
