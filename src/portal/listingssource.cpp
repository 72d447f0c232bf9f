#include "portal/listingssource.h"

#include "portal/cachefolder.h"
#include "portal/gunzipdevice.h"
#include "portal/sourcedownload.h"
#include "portal/xmltvreader.h"
#include "portal/xzdevice.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

using std::chrono::milliseconds;

// How often a file that changed while it was read is read, and the pause before reading it
// again: a program rewriting it in place gets the time to finish.
constexpr int kReadingsOfAChangingFile = 4;
constexpr milliseconds kChangedPause{300};
// A file system stamps a change with the time of its clock's tick, so a change within the tick
// of the one before leaves the file's time as it was. A file changed that recently when it is
// opened is read only once its tick has surely passed, so that any change during the reading
// shows. A few milliseconds where stamps have nanoseconds; where they are whole seconds (ext3,
// FAT's two), two seconds.
constexpr milliseconds kFineTick{50};
constexpr milliseconds kCoarseTick{2000};
// Sleeps are cut into steps this long, to see a cancel.
constexpr milliseconds kCancelCheck{50};

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// False when cancelled first.
bool pause(milliseconds length, const std::atomic<bool>* cancel)
{
    const auto end = std::chrono::steady_clock::now() + length;
    for (;;) {
        if (cancel && cancel->load())
            return false;
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= milliseconds::zero())
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, kCancelCheck));
    }
}

// How long to wait before reading a file with this stamp (see kFineTick).
milliseconds untilSettled(const BoundedInput::Stamp& stamp)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const milliseconds tick = stamp.modifiedNanoseconds == 0 ? kCoarseTick : kFineTick;
    const auto age = std::chrono::duration_cast<milliseconds>(
        std::chrono::seconds(now.tv_sec - stamp.modifiedSeconds) +
        std::chrono::nanoseconds(now.tv_nsec - stamp.modifiedNanoseconds));
    if (age >= tick || age <= -tick)
        return milliseconds::zero();
    return tick - age;
}

// What is wrong when a reading through these devices failed: the source, else the unpacking,
// else what the XML reader found.
SourceProblem problemOf(const BoundedInput& input, const UnpackDevice* unpacking,
                        const XmltvFault& fault, qint64 maxBytes)
{
    using Kind = SourceProblem::Kind;
    switch (input.failure()) {
    case BoundedInput::Failure::TooLarge:
        return {Kind::TooLarge, {}, 0, maxBytes, input.errorString()};
    case BoundedInput::Failure::Cancelled:
        return {Kind::Other, {}, 0, 0, input.errorString()};
    case BoundedInput::Failure::Unreadable:
        return {Kind::Unreadable, {}, 0, 0, input.errorString()};
    case BoundedInput::Failure::None:
        break;
    }
    if (unpacking && unpacking->failed())
        return {unpacking->tooLarge() ? Kind::TooLarge : Kind::BrokenPacking,
                {},
                0,
                maxBytes,
                unpacking->errorString()};
    switch (fault.kind) {
    case XmltvFault::Kind::NotXmltv:
        return {Kind::NotXmltv, {}, 0, 0, fault.what};
    case XmltvFault::Kind::BrokenXmltv:
        return {Kind::BrokenXmltv, {}, fault.line, 0, fault.what};
    case XmltvFault::Kind::NotXml:
    case XmltvFault::Kind::None:
        break;
    }
    return {Kind::BrokenXml, {}, fault.line, 0, fault.what};
}

std::optional<Listings> readFrom(BoundedInput& input, const QString& sourceName,
                                 const QString& lang, qint64 maxBytes, QString* error,
                                 SourceProblem* problem)
{
    std::optional<Listings> listings;
    QString message;
    XmltvFault fault;
    SourceProblem found;
    const auto read = [&](QIODevice* device, const UnpackDevice* unpacking) {
        listings = readXmltv(device, sourceName, lang, &message, &fault);
        if (!listings)
            found = problemOf(input, unpacking, fault, maxBytes);
    };
    // Six bytes tell both formats apart from each other and from XML.
    const QByteArray magic = input.peek(6);
    if (GunzipDevice::isGzip(magic)) {
        GunzipDevice unpacked(&input, maxBytes);
        read(&unpacked, &unpacked);
    } else if (XzDevice::isXz(magic)) {
        XzDevice unpacked(&input, maxBytes);
        read(&unpacked, &unpacked);
    } else {
        read(&input, nullptr);
    }
    // Faults of the whole source, not of a line of it.
    if (input.failure() == BoundedInput::Failure::TooLarge ||
        input.failure() == BoundedInput::Failure::Cancelled)
        message = QStringLiteral("Cannot read listings file \"%1\": %2.")
                      .arg(sourceName, input.errorString());
    if (listings && listings->channelIds().isEmpty()) {
        listings.reset();
        message =
            QStringLiteral("Cannot read listings file \"%1\": it has no channels.").arg(sourceName);
        found = {SourceProblem::Kind::NoChannels, {}, 0, 0, {}};
    }
    if (!listings) {
        if (error)
            *error = message;
        if (problem) {
            *problem = found;
            problem->source = sourceName;
        }
    }
    return listings;
}

} // namespace

std::optional<Listings> readListingsFile(const QString& path, const QString& sourceName,
                                         const QString& lang, QString* error,
                                         const std::atomic<bool>* cancel, qint64 maxBytes,
                                         BoundedInput::Stamp* readAs, SourceProblem* problem)
{
    using Kind = SourceProblem::Kind;
    const auto fail = [&](Kind kind, const QString& reason) -> std::optional<Listings> {
        if (error)
            *error =
                QStringLiteral("Cannot read listings file \"%1\": %2.").arg(sourceName, reason);
        if (problem)
            *problem = {kind, sourceName, 0, kind == Kind::TooLarge ? maxBytes : 0, reason};
        return std::nullopt;
    };
    for (int reading = 1;; ++reading) {
        BoundedInput input(maxBytes, cancel);
        if (!input.openPath(path)) {
            if (error)
                *error = QStringLiteral("Cannot open listings file \"%1\": %2")
                             .arg(sourceName, input.errorString());
            if (problem)
                *problem = {input.openError() == ENOENT ? Kind::Missing : Kind::Unopenable,
                            sourceName, 0, 0, input.errorString()};
            return std::nullopt;
        }
        const BoundedInput::Stamp opened = input.openedAs();
        if (opened.regular && opened.size > maxBytes)
            return fail(Kind::TooLarge, input.tooLargeReason());
        bool whole = true;
        std::optional<Listings> listings;
        QString message;
        SourceProblem found;
        if (opened.regular) {
            if (!pause(untilSettled(opened), cancel))
                return fail(Kind::Other, QStringLiteral("cancelled"));
            whole = input.now() == opened;
        }
        if (whole) {
            listings = readFrom(input, sourceName, lang, maxBytes, &message, &found);
            if (input.failure() == BoundedInput::Failure::TooLarge ||
                input.failure() == BoundedInput::Failure::Cancelled) {
                if (error)
                    *error = message;
                if (problem)
                    *problem = found;
                return std::nullopt;
            }
        }
        // Rewritten in place, its size or time changed; replaced, the path names another file.
        // Either way what was read may be half the old file and half the new.
        const std::optional<BoundedInput::Stamp> after = BoundedInput::Stamp::ofPath(path);
        if (opened.regular)
            whole = whole && after == opened;
        if (whole) {
            if (readAs)
                *readAs = after.value_or(opened);
            if (!listings) {
                if (error)
                    *error = message;
                if (problem)
                    *problem = found;
            }
            return listings;
        }
        if (reading == kReadingsOfAChangingFile)
            return fail(Kind::KeptChanging, QStringLiteral("it kept changing while being read"));
        if (!pause(kChangedPause, cancel))
            return fail(Kind::Other, QStringLiteral("cancelled"));
    }
}

ListingsSource::ListingsSource(const QString& source, std::shared_ptr<const CacheFolder> cache,
                               const QString& lang, qint64 maxBytes)
    : m_source(source), m_name(source), m_lang(lang), m_maxBytes(maxBytes)
{
    if (isUrl(source)) {
        SourceDownload::Limits limits;
        limits.maxBytes = maxBytes;
        m_download = std::make_unique<SourceDownload>(source, std::move(cache), limits);
        m_name = m_download->shownUrl();
    }
}

ListingsSource::~ListingsSource() = default;

bool ListingsSource::isUrl(const QString& source)
{
    return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

ListingsSource::Result ListingsSource::readDownload(int fd, const std::atomic<bool>* cancel)
{
    Result result;
    BoundedInput input(m_maxBytes, cancel);
    if (fd < 0 || !input.openDescriptor(fd)) {
        const QString why = fd < 0 ? systemError(errno) : input.errorString();
        result.error = QStringLiteral("Cannot open listings file \"%1\": %2").arg(m_name, why);
        result.problem = {SourceProblem::Kind::Unreadable, m_name, 0, 0, why};
        return result;
    }
    result.listings = readFrom(input, m_name, m_lang, m_maxBytes, &result.error, &result.problem);
    if (result.listings) {
        result.kind = Result::Kind::Read;
        m_everRead = true;
    }
    return result;
}

ListingsSource::Result ListingsSource::load(const std::atomic<bool>* cancel)
{
    if (!m_download) {
        // A file that has not changed since it was read well is not read again.
        if (m_readAs && BoundedInput::Stamp::ofPath(m_source) == m_readAs)
            return {Result::Kind::Unchanged, std::nullopt, {}, {}};
        Result result;
        BoundedInput::Stamp readAs;
        result.listings = readListingsFile(m_source, m_name, m_lang, &result.error, cancel,
                                           m_maxBytes, &readAs, &result.problem);
        if (result.listings) {
            result.kind = Result::Kind::Read;
            m_readAs = readAs;
            m_everRead = true;
        }
        return result;
    }

    switch (m_download->fetch(cancel)) {
    case SourceDownload::Outcome::NotModified:
        if (m_everRead)
            return {Result::Kind::Unchanged, std::nullopt, {}, {}};
        return readDownload(m_download->openCached(), cancel);
    case SourceDownload::Outcome::Failed:
        return {Result::Kind::Failed, std::nullopt,
                QStringLiteral("Cannot download \"%1\": %2").arg(m_name, m_download->reason()),
                downloadProblem()};
    case SourceDownload::Outcome::Downloaded:
        break;
    }
    Result result = readDownload(m_download->openPending(), cancel);
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

SourceProblem ListingsSource::downloadProblem() const
{
    using Kind = SourceProblem::Kind;
    SourceProblem problem{Kind::DownloadFailed, m_name, 0, 0, m_download->reason()};
    switch (m_download->failure()) {
    case SourceDownload::Failure::CannotConnect:
        problem.kind = Kind::CannotConnect;
        break;
    case SourceDownload::Failure::HttpStatus:
        problem.kind = Kind::HttpStatus;
        problem.number = m_download->failedStatus();
        break;
    case SourceDownload::Failure::TooLarge:
        problem.kind = Kind::TooLarge;
        problem.number = m_maxBytes;
        break;
    case SourceDownload::Failure::None:
    case SourceDownload::Failure::Other:
        break;
    }
    return problem;
}

ListingsSource::Result ListingsSource::loadCached(const std::atomic<bool>* cancel)
{
    if (!m_download || !m_download->hasCachedCopy())
        return {Result::Kind::Failed, std::nullopt, QStringLiteral("nothing cached"), {}};
    return readDownload(m_download->openCached(), cancel);
}
