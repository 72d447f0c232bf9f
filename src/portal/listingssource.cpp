#include "portal/listingssource.h"

#include "portal/gunzipdevice.h"
#include "portal/sourcedownload.h"
#include "portal/xmltvreader.h"

#include <QFile>
#include <QFileInfo>

std::optional<Listings> readListingsFile(const QString& path, const QString& sourceName,
                                         const QString& lang, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open listings file \"%1\": %2")
                         .arg(sourceName, file.errorString());
        return std::nullopt;
    }
    if (GunzipDevice::isGzip(file.peek(2))) {
        GunzipDevice unpacked(&file, kMaxListingsBytes);
        return readXmltv(&unpacked, sourceName, lang, error);
    }
    if (file.size() > kMaxListingsBytes) {
        if (error)
            *error = QStringLiteral("Cannot read listings file \"%1\": it is larger than %2 MiB.")
                         .arg(sourceName)
                         .arg(kMaxListingsBytes >> 20);
        return std::nullopt;
    }
    return readXmltv(&file, sourceName, lang, error);
}

ListingsSource::ListingsSource(const QString& source, const QString& cacheFolder,
                               const QString& lang)
    : m_source(source), m_lang(lang)
{
    if (isUrl(source))
        m_download = std::make_unique<SourceDownload>(source, cacheFolder);
}

ListingsSource::~ListingsSource() = default;

bool ListingsSource::isUrl(const QString& source)
{
    return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

ListingsSource::Result ListingsSource::readFile(const QString& path)
{
    Result result;
    QString error;
    result.listings = readListingsFile(path, m_source, m_lang, &error);
    if (result.listings) {
        result.kind = Result::Kind::Read;
        m_everRead = true;
    } else {
        result.error = error;
    }
    return result;
}

ListingsSource::Result ListingsSource::load(const std::atomic<bool>* cancel)
{
    if (!m_download) {
        // A file that has not changed since it was read well is not read again.
        const QFileInfo info(m_source);
        const QDateTime modified = info.lastModified();
        const qint64 size = info.exists() ? info.size() : -1;
        if (m_everRead && size == m_readSize && modified == m_readModified)
            return {Result::Kind::Unchanged, std::nullopt, {}};
        Result result = readFile(m_source);
        if (result.kind == Result::Kind::Read) {
            m_readModified = modified;
            m_readSize = size;
        }
        return result;
    }

    switch (m_download->fetch(cancel)) {
    case SourceDownload::Outcome::NotModified:
        if (m_everRead)
            return {Result::Kind::Unchanged, std::nullopt, {}};
        return readFile(m_download->cachedFile());
    case SourceDownload::Outcome::Failed:
        return {Result::Kind::Failed, std::nullopt,
                QStringLiteral("Cannot download \"%1\": %2").arg(m_source, m_download->reason())};
    case SourceDownload::Outcome::Downloaded:
        break;
    }
    Result result = readFile(m_download->pendingFile());
    if (result.kind != Result::Kind::Read) {
        // What came is broken: the cached copy stays the last good one.
        m_download->discard();
        return result;
    }
    QString error;
    if (!m_download->keep(&error)) {
        result.error = QStringLiteral("not cached: %1").arg(error);
        m_download->discard();
    }
    return result;
}

ListingsSource::Result ListingsSource::loadCached()
{
    if (!m_download || !m_download->hasCachedCopy())
        return {Result::Kind::Failed, std::nullopt, QStringLiteral("nothing cached")};
    return readFile(m_download->cachedFile());
}
