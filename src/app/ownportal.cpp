#include "app/ownportal.h"

#include "app/languagechoice.h"
#include "app/portalprobe.h"
#include "text/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

#ifndef EKRANIK_PORTAL_HOST
#error "EKRANIK_PORTAL_HOST must be defined by the build"
#endif
#if !defined(EKRANIK_DATA_FROM_BINDIR) || !defined(EKRANIK_SOURCE_DATA)
#error "EKRANIK_DATA_FROM_BINDIR and EKRANIK_SOURCE_DATA must be defined by the build"
#endif

namespace {

const QString kPortalName = QStringLiteral("ekranik-portal");
const QByteArray kPortalPrefix = QByteArrayLiteral("ekranik-portal: ");
// A child that finds its parent gone before it could ask to be ended with it.
constexpr int kOrphanStatus = 125;
// A portal's line is its own and short; anything longer is cut before the log shows it.
constexpr qsizetype kLongestLogLine = 2000;

QString shown(const QByteArray& line)
{
    return QString::fromUtf8(line.left(kLongestLogLine));
}

bool sameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

OwnPortal::OwnPortal(QObject* parent, const QString& program) : QObject(parent), m_program(program)
{
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &OwnPortal::decide);
}

OwnPortal::~OwnPortal()
{
    stop();
}

QString OwnPortal::portalProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + u'/' + kPortalName;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(kPortalName);
}

QString OwnPortal::demoListings()
{
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" EKRANIK_DATA_FROM_BINDIR "/demo.xmltv"));
    if (QFileInfo::exists(installed))
        return installed;
    return QStringLiteral(EKRANIK_SOURCE_DATA "/demo.xmltv");
}

void OwnPortal::setSources(const QStringList& sources)
{
    if (sources == m_sources)
        return;
    m_sources = sources;
    stop();
    m_pause = kFirstPause;
    decide();
}

void OwnPortal::reconsider(const QList<QByteArray>& stationEntries, const QList<bool>& checks)
{
    const PortalChoice choice =
        choosePortal(stationEntries, checks, QByteArrayLiteral(EKRANIK_PORTAL_HOST));
    if (choice != m_choice) {
        stop();
        m_choice = choice;
        m_pause = kFirstPause;
        m_saidNotOurs = false;
    }
    decide();
}

QString OwnPortal::portalAddress() const
{
    return m_choice && !m_choice->host.isEmpty() ? m_choice->hostPort() : QString();
}

bool OwnPortal::isOurs() const
{
    return m_child || m_restart.isActive();
}

qint64 OwnPortal::childId() const
{
    return m_child ? m_child->processId() : 0;
}

// Starts a child where one should run and none does; stops ours where none should run.
void OwnPortal::decide()
{
    if (!m_choice)
        return;
    if (!m_choice->loopback || m_sources.isEmpty()) {
        stop();
        return;
    }
    if (isOurs())
        return;
    if (!startsOwnPortal(*m_choice, true, answersOnThisMachine(*m_choice))) {
        if (!std::exchange(m_saidNotOurs, true))
            emit logged({QStringLiteral(".portal: Na %1 odpowiada już inny portal; korzystam z "
                                        "niego")
                             .arg(m_choice->hostPort())});
        return;
    }
    m_saidNotOurs = false;
    start();
}

QStringList OwnPortal::arguments() const
{
    // localhost is served on IPv4, which every client tries.
    PortalChoice listen = *m_choice;
    if (listen.host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        listen.host = QStringLiteral("127.0.0.1");
    QStringList arguments{QStringLiteral("--listen"), listen.hostPort(),
                          QStringLiteral("--keep-serving"), QStringLiteral("--lang"),
                          programLanguage()};
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty())
        arguments << QStringLiteral("--cache") << cache + QStringLiteral("/ekranik/portal");
    bool demo = false;
    for (const QString& source : m_sources) {
        arguments << QStringLiteral("--xmltv") << source;
        demo = demo || sameFile(source, demoListings());
    }
    // The demo listings are of a day long gone, and their stations are numbered by a map.
    if (demo)
        arguments << QStringLiteral("--today") << QStringLiteral("--stations")
                  << QFileInfo(demoListings()).dir().filePath(QStringLiteral("stations.map"));
    return arguments;
}

void OwnPortal::start()
{
    m_child = new QProcess(this);
    m_child->setProgram(m_program);
    m_child->setArguments(arguments());
    m_child->setStandardInputFile(QProcess::nullDevice());
    // Ended with the program however it ends, a kill included. The parent may have died
    // between the fork and the request: then the child ends here.
    m_child->setChildProcessModifier([parent = ::getpid()] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(kOrphanStatus);
    });
    connect(m_child, &QProcess::readyReadStandardOutput, this, &OwnPortal::readOutput);
    connect(m_child, &QProcess::readyReadStandardError, this, &OwnPortal::readErrors);
    connect(m_child, &QProcess::finished, this, [this](int status, QProcess::ExitStatus how) {
        childEnded(how == QProcess::CrashExit
                       ? QStringLiteral("zakończył się nagle")
                       : QStringLiteral("zakończył się (kod %1)").arg(status));
    });
    connect(m_child, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            childEnded(QStringLiteral("nie dał się uruchomić (%1)").arg(m_child->errorString()));
    });
    m_servingFor.invalidate();
    // The sources are not named: an address may hold a password.
    const QString line =
        QStringLiteral(".portal: Uruchamiam %1 na %2").arg(m_program, m_choice->hostPort());
    qCInfo(lcLog).noquote() << line;
    emit logged({line});
    m_child->start();
}

// Asks the child to end and waits for it; kills it when it takes too long.
void OwnPortal::stop()
{
    m_restart.stop();
    if (!m_child)
        return;
    QProcess* child = std::exchange(m_child, nullptr);
    child->disconnect(this);
    if (child->state() != QProcess::NotRunning) {
        child->terminate();
        if (!child->waitForFinished(kEndWaitMs)) {
            child->kill();
            child->waitForFinished(kEndWaitMs);
        }
    }
    // Possibly in the middle of one of its own signals.
    child->deleteLater();
}

void OwnPortal::readOutput()
{
    QProcess* const child = m_child;
    if (!child)
        return;
    child->setReadChannel(QProcess::StandardOutput);
    QStringList lines;
    // What a signal's listener does may end this child, or start another.
    while (m_child == child && child->canReadLine()) {
        const QByteArray line = child->readLine().trimmed();
        if (!line.startsWith(kPortalPrefix))
            continue;
        lines << shown(line);
        const QByteArray said = line.mid(kPortalPrefix.size());
        if (said.startsWith("listening on ")) {
            emit reading();
        } else if (said.startsWith("serving ")) {
            m_servingFor.start();
            emit serving();
        } else if (said.startsWith("cannot read the listings")) {
            emit readingFailed();
        }
    }
    if (!lines.isEmpty())
        emit logged(lines);
}

// The request log is the portal's business; its own messages are the program's.
void OwnPortal::readErrors()
{
    if (!m_child)
        return;
    m_child->setReadChannel(QProcess::StandardError);
    QStringList lines;
    while (m_child->canReadLine()) {
        const QByteArray line = m_child->readLine().trimmed();
        if (line.startsWith(kPortalPrefix))
            lines << shown(line);
    }
    if (!lines.isEmpty())
        emit logged(lines);
}

void OwnPortal::childEnded(const QString& how)
{
    if (!m_child)
        return;
    // What it said last comes before the line that it ended.
    readErrors();
    readOutput();
    if (!m_child)
        return;
    if (m_servingFor.isValid() && m_servingFor.elapsed() >= kServedAWhile.count())
        m_pause = kFirstPause;
    std::exchange(m_child, nullptr)->deleteLater();
    const QString line = QStringLiteral(".portal: %1 na %2 %3; uruchomię go ponownie za %4 s")
                             .arg(kPortalName, m_choice->hostPort(), how)
                             .arg(m_pause.count() / 1000);
    qCWarning(lcLog).noquote() << line;
    emit logged({line});
    m_restart.start(m_pause);
    m_pause = std::min(m_pause * 2, kLongestPause);
}
