#include "portal/reloader.h"

#include "portal/cachefolder.h"
#include "portal/listingssource.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>
#include <optional>

struct Reloader::Source {
    Source(const QString& name, std::shared_ptr<const CacheFolder> cache, const QString& lang,
           qint64 maxBytes)
        : source(name, std::move(cache), lang, maxBytes)
    {
    }

    ListingsSource source;
    std::optional<Listings> last;
    // Why its last reading failed; none when it worked. Under m_listingsMutex.
    std::optional<SourceProblem> problem;
    Clock::time_point due = Clock::time_point::max();
    int failures = 0;
};

Reloader::Reloader(const QStringList& sources, const Options& options, Log log)
    : m_options(options), m_log(std::move(log))
{
    // Only downloads use it: files alone leave the folder alone.
    if (std::any_of(sources.begin(), sources.end(),
                    [](const QString& s) { return ListingsSource::isUrl(s); })) {
        auto cache = std::make_shared<CacheFolder>(m_options.cacheFolder);
        if (!cache->isUsable())
            this->log(
                QStringLiteral("%1; going on without a cache: downloads are not kept across runs")
                    .arg(cache->problem()));
        m_cache = std::move(cache);
    }
    for (const QString& source : sources)
        m_sources.push_back(
            std::make_unique<Source>(source, m_cache, m_options.lang, m_options.maxBytes));
}

Reloader::~Reloader()
{
    stop();
}

void Reloader::log(const QString& line) const
{
    if (m_log)
        m_log(line);
}

bool Reloader::loadFirst(QString* error)
{
    const auto stopped = [this, error] {
        if (!m_cancel)
            return false;
        if (error)
            *error = QStringLiteral("stopped");
        return true;
    };
    QString failedFile;
    for (const std::unique_ptr<Source>& s : m_sources) {
        if (stopped())
            return false;
        const auto now = Clock::now();
        if (s->source.isUrl()) {
            ListingsSource::Result cached = s->source.loadCached(&m_cancel);
            if (cached.kind == ListingsSource::Result::Kind::Read) {
                logRead(*s, *cached.listings, QStringLiteral("the cached copy"));
                const std::lock_guard<std::mutex> lock(m_listingsMutex);
                s->last = std::move(cached.listings);
                s->due = now;
                continue;
            }
            reload(*s);
            continue;
        }
        ListingsSource::Result result = s->source.load(&m_cancel);
        if (stopped())
            return false;
        if (result.kind != ListingsSource::Result::Kind::Read) {
            if (failedFile.isEmpty())
                failedFile = result.error;
            else
                log(result.error);
            const std::lock_guard<std::mutex> lock(m_listingsMutex);
            s->problem = result.problem;
            // Read again soon when the portal goes on serving (see failed()).
            s->failures = 1;
            s->due = now + std::min(m_options.firstRetry, m_options.refresh);
            continue;
        }
        logRead(*s, *result.listings, {});
        const std::lock_guard<std::mutex> lock(m_listingsMutex);
        s->last = std::move(result.listings);
        s->problem.reset();
        s->due = now + m_options.refresh;
    }
    if (stopped())
        return false;
    if (!failedFile.isEmpty() && error)
        *error = failedFile;
    return failedFile.isEmpty();
}

Listings Reloader::merged() const
{
    Listings all;
    const std::lock_guard<std::mutex> lock(m_listingsMutex);
    for (const std::unique_ptr<Source>& s : m_sources) {
        if (s->last)
            all.addFrom(*s->last);
    }
    if (m_options.moveToToday)
        all.moveToDay(QDate::currentDate());
    return all;
}

QList<SourceProblem> Reloader::problems() const
{
    QList<SourceProblem> problems;
    const std::lock_guard<std::mutex> lock(m_listingsMutex);
    for (const std::unique_ptr<Source>& s : m_sources) {
        if (s->problem)
            problems << *s->problem;
    }
    return problems;
}

void Reloader::start(Publish publish, Problems problems)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping || m_thread.joinable())
        return;
    m_publish = std::move(publish);
    m_problems = std::move(problems);
    // run() waits for the lock until this returns.
    m_thread = std::thread([this] { run(); });
}

void Reloader::reloadNow()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_reloadAll = true;
    }
    m_wake.notify_all();
}

void Reloader::stop()
{
    std::thread thread;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        thread = std::move(m_thread);
    }
    m_cancel = true;
    m_wake.notify_all();
    if (thread.joinable())
        thread.join();
}

void Reloader::run()
{
    QList<SourceProblem> told = problems();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        Clock::time_point due = Clock::time_point::max();
        for (const std::unique_ptr<Source>& s : m_sources)
            due = std::min(due, s->due);
        const auto woken = [this] { return m_stopping || m_reloadAll; };
        if (due == Clock::time_point::max())
            m_wake.wait(lock, woken);
        else
            m_wake.wait_until(lock, due, woken);
        if (m_stopping)
            break;
        const bool all = std::exchange(m_reloadAll, false);
        lock.unlock();

        const auto now = Clock::now();
        bool changed = false;
        for (const std::unique_ptr<Source>& s : m_sources) {
            if ((all || s->due <= now) && !m_cancel)
                changed = reload(*s) || changed;
        }
        if (m_cancel)
            break;
        QList<SourceProblem> found = problems();
        if (found != told && m_problems)
            m_problems(found);
        told = std::move(found);
        if (changed && m_publish)
            m_publish(merged());
        lock.lock();
    }
}

bool Reloader::reload(Source& s)
{
    ListingsSource::Result result = s.source.load(&m_cancel);
    const auto now = Clock::now();
    switch (result.kind) {
    case ListingsSource::Result::Kind::Read:
        logRead(s, *result.listings, result.error);
        {
            const std::lock_guard<std::mutex> lock(m_listingsMutex);
            s.last = std::move(result.listings);
            s.problem.reset();
        }
        s.failures = 0;
        s.due = now + m_options.refresh;
        return true;
    case ListingsSource::Result::Kind::Unchanged:
        log(QStringLiteral("\"%1\" has not changed").arg(s.source.name()));
        {
            const std::lock_guard<std::mutex> lock(m_listingsMutex);
            s.problem.reset();
        }
        s.failures = 0;
        s.due = now + m_options.refresh;
        return false;
    case ListingsSource::Result::Kind::Failed:
        if (!m_cancel) {
            const std::lock_guard<std::mutex> lock(m_listingsMutex);
            s.problem = result.problem;
        }
        failed(s, result.error);
        return false;
    }
    return false;
}

void Reloader::logRead(const Source& s, const Listings& listings, const QString& remark) const
{
    log(QStringLiteral("read \"%1\": %2 channels, %3 programmes%4")
            .arg(s.source.name(), QString::number(listings.channelIds().size()),
                 QString::number(listings.programmeCount()),
                 remark.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(remark)));
}

void Reloader::failed(Source& s, const QString& error)
{
    if (m_cancel)
        return;
    ++s.failures;
    // A minute, two, four... up to the longest wait; never past the next regular reading.
    auto wait = m_options.firstRetry;
    for (int n = 1; n < s.failures && wait < m_options.longestRetry; ++n)
        wait *= 2;
    wait = std::min({wait, m_options.longestRetry, m_options.refresh});
    s.due = Clock::now() + wait;
    const QString kept = s.last ? QStringLiteral("serving its last listings (%1 programmes)")
                                      .arg(s.last->programmeCount())
                                : QStringLiteral("nothing to serve from it yet");
    const QString next = QDateTime::currentDateTime()
                             .addMSecs(wait.count())
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    log(QStringLiteral("%1; %2; trying again at %3").arg(error, kept, next));
}
