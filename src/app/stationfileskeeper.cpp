#include "app/stationfileskeeper.h"

#include "stations/checkedstates.h"
#include "stations/defaultstations.h"
#include "stations/stationfiles.h"
#include "stations/textfile.h"
#include "text/errorbox.h"
#include "text/errorreport.h"
#include "text/logging.h"
#include "update/updateengine.h"
#include "widgets/stationlistbox.h"

#include <QCloseEvent>
#include <QFile>
#include <QScopedValueRollback>
#include <QWidget>

StationFilesKeeper::StationFilesKeeper(QWidget* window, StationListBox* stations,
                                       UpdateEngine* engine, Writer write, QObject* parent)
    : QObject(parent), m_window(window), m_stations(stations), m_engine(engine),
      m_write(write ? std::move(write) : writeTextFile)
{
    m_stations->setStations(defaultStations());
    m_window->installEventFilter(this);
}

// The station files are loaded when the window is first shown, not when the window manager
// first activates it: without a window manager, or with focus-stealing prevention, that may
// never happen, and the program would never load its list. Once loaded, later shows and
// activations (closing the input dialog, say) load nothing, so a station just added is not
// thrown away by a reload; until then, each of them tries again.
bool StationFilesKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        if (!m_loaded)
            FormActivate();
        return false;
    case QEvent::ActivationChange:
        if (!m_window->isActiveWindow() || m_loaded)
            return false;
        if (!std::exchange(m_skipNextActivation, false))
            FormActivate();
        return false;
    case QEvent::Close:
        if (!FormCloseQuery() && !m_endingFromOutside) {
            event->ignore();
            return true;
        }
        emit ended();
        return false;
    default:
        return false;
    }
}

bool StationFilesKeeper::guarded(const std::function<void()>& steps)
{
    try {
        steps();
        return true;
    } catch (const ErrorReport& error) {
        if (m_endingFromOutside) {
            m_lostChanges = true;
            qCWarning(lcLog).noquote() << QStringLiteral(".mrowka: ") + error.text();
        } else {
            showErrorBox(error.text());
        }
        return false;
    }
}

// A try after a failure reloads only what failed: a list that loaded, with the stations the
// user added since, stays.
void StationFilesKeeper::FormActivate()
{
    m_loaded = guarded([this] {
        if (!m_engine->state().activated) {
            const bool listFile = QFile::exists(QString::fromLatin1(kStationListFile));
            if (listFile)
                loadStationList();
            else if (!QFile::exists(QString::fromLatin1(kCheckedStatesFile)))
                emit noStationFiles();
            m_engine->activate();
            emit activated();
        }
        LoadCheckedStates();
    });
    // Closing the error box activates the window again; trying then would open the box
    // again, without end. The activation after that one tries.
    m_skipNextActivation = !m_loaded;
}

bool StationFilesKeeper::FormCloseQuery()
{
    emit saving();
    const bool saved = guarded([this] {
        SaveCheckedStates();
        m_engine->cancelDownload();
        saveStationList();
    });
    // Ending regardless: no download may go on writing.
    if (!saved && m_endingFromOutside)
        m_engine->cancelDownload();
    return saved;
}

void StationFilesKeeper::close1Click()
{
    if (guarded([this] { saveStationList(); }))
        m_window->close();
}

void StationFilesKeeper::endFromOutside()
{
    // As "Koniec", but a failed save does not stop it.
    m_endingFromOutside = true;
    guarded([this] { saveStationList(); });
    m_window->close();
}

void StationFilesKeeper::saveForSessionEnd()
{
    const QScopedValueRollback<bool> quiet(m_endingFromOutside, true);
    FormCloseQuery();
}

void StationFilesKeeper::loadStationList()
{
    m_stations->setStations(readTextFile(QString::fromLatin1(kStationListFile)));
}

// A list that could not be read is not the user's: it never goes over their files.
void StationFilesKeeper::saveStationList()
{
    if (m_engine->state().activated)
        m_write(QString::fromLatin1(kStationListFile), m_stations->stations());
}

void StationFilesKeeper::LoadCheckedStates()
{
    const QString path = QString::fromLatin1(kCheckedStatesFile);
    if (!QFile::exists(path))
        return;
    const QList<QByteArray> l = readTextFile(path);
    applyCheckedStateLines(l, m_stations->count(),
                           [this](int row) { m_stations->checkQuietly(row); });
}

void StationFilesKeeper::SaveCheckedStates()
{
    if (m_engine->state().activated)
        m_write(QString::fromLatin1(kCheckedStatesFile),
                checkedStateLines(m_stations->checkMarks()));
}
