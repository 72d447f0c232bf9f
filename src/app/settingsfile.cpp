#include "app/settingsfile.h"

#include "reminders/reminderschedule.h"
#include "text/logging.h"
#include "text/win1250.h"
#include "update/updatestate.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <span>
#include <utility>

namespace {

// Every setting is written as a word a person can read and edit.
template <class T> using Words = std::span<const std::pair<const char*, T>>;

constexpr std::pair<const char*, bool> kYesNo[] = {{"true", true}, {"false", false}};
constexpr std::pair<const char*, WidgetLook::Scheme> kSchemes[] = {
    {"light", WidgetLook::Scheme::LightText}, {"dark", WidgetLook::Scheme::DarkText}};
constexpr std::pair<const char*, Qt::GlobalColor> kKeyColors[] = {{"black", Qt::black},
                                                                  {"white", Qt::white}};
constexpr std::pair<const char*, Publisher::Mode> kModes[] = {
    {"widget", Publisher::Mode::Widget}, {"balloon", Publisher::Mode::Balloon}};

template <class T> std::optional<T> meaning(Words<T> words, const QString& word)
{
    for (const auto& [name, value] : words) {
        if (word == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

template <class T> QString wordFor(Words<T> words, T value)
{
    for (const auto& [name, meant] : words) {
        if (meant == value)
            return QString::fromLatin1(name);
    }
    return {};
}

} // namespace

SettingsFile::SettingsFile(const QString& path, QObject* parent)
    : QObject(parent), m_settings(path, QSettings::IniFormat)
{
    if (!QFileInfo::exists(path)) {
        qCInfo(lcLog).noquote()
            << QStringLiteral(".mrowka: Brak pliku ustawien %1, domyslne").arg(path);
    } else if (m_settings.status() != QSettings::NoError) {
        qCWarning(lcLog).noquote()
            << QStringLiteral(".mrowka: Plik ustawien %1 nieczytelny lub uszkodzony, domyslne")
                   .arg(path);
        // Whatever half of it was understood is not trusted either; the next write replaces it.
        m_settings.clear();
    }
}

QString SettingsFile::standardPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ekranik/ekranik.conf");
}

std::optional<QString> SettingsFile::text(const char* key) const
{
    const QVariant value = m_settings.value(QLatin1String(key));
    if (!value.isValid())
        return std::nullopt;
    // An unquoted comma makes a list of the value.
    if (value.typeId() != QMetaType::QString) {
        refuse(key, value.toStringList().join(QLatin1Char(',')));
        return std::nullopt;
    }
    return value.toString();
}

void SettingsFile::refuse(const char* key, const QString& value) const
{
    qCWarning(lcLog).noquote()
        << QStringLiteral(".mrowka: Ustawienie %1=%2 poza zakresem, domyslne").arg(key, value);
}

WidgetLook SettingsFile::widgetLook() const
{
    const auto read = [this]<class T>(const char* key, Words<T> words, T fallback) {
        const std::optional<QString> word = text(key);
        if (!word)
            return fallback;
        const std::optional<T> value = meaning(words, *word);
        if (!value)
            refuse(key, *word);
        return value.value_or(fallback);
    };
    const WidgetLook start;
    return {
        .clock = read("widget/clock", Words<bool>(kYesNo), start.clock),
        .progressLine = read("widget/progressLine", Words<bool>(kYesNo), start.progressLine),
        .compact = read("widget/compact", Words<bool>(kYesNo), start.compact),
        .frame = read("widget/frame", Words<bool>(kYesNo), start.frame),
        .keying = read("widget/keying", Words<bool>(kYesNo), start.keying),
        .scheme = read("widget/scheme", Words<WidgetLook::Scheme>(kSchemes), start.scheme),
        .keyColor = read("widget/keyColor", Words<Qt::GlobalColor>(kKeyColors),
                         start.keyColor == Qt::white ? Qt::white : Qt::black),
        .place = widgetPlace(),
        .next = read("widget/next", Words<bool>(kYesNo), start.next),
    };
}

std::optional<QPoint> SettingsFile::widgetPlace() const
{
    const std::optional<QString> x = text("widget/x");
    const std::optional<QString> y = text("widget/y");
    if (!x || !y)
        return std::nullopt;
    bool xOk = false;
    bool yOk = false;
    const QPoint place(x->toInt(&xOk), y->toInt(&yOk));
    if (!xOk)
        refuse("widget/x", *x);
    if (!yOk)
        refuse("widget/y", *y);
    return xOk && yOk ? std::optional(place) : std::nullopt;
}

QString SettingsFile::frequency() const
{
    const std::optional<QString> keyword = text("updates/frequency");
    if (!keyword || keyword->isEmpty())
        return {};
    if (!frequencyInterval(*keyword)) {
        refuse("updates/frequency", *keyword);
        return {};
    }
    return *keyword;
}

Publisher::Mode SettingsFile::displayMode() const
{
    const std::optional<QString> word = text("display/mode");
    if (!word)
        return Publisher::Mode::Widget;
    const std::optional<Publisher::Mode> mode = meaning(Words<Publisher::Mode>(kModes), *word);
    if (!mode)
        refuse("display/mode", *word);
    return mode.value_or(Publisher::Mode::Widget);
}

// Kept as the user typed it; a keyword the titles' code page cannot hold could never be found.
QByteArray SettingsFile::reminderKeyword() const
{
    const std::optional<QString> keyword = text("reminder/keyword");
    if (!keyword || keyword->isEmpty())
        return {};
    const std::optional<QByteArray> bytes = unicodeToWin1250(*keyword);
    if (!bytes)
        refuse("reminder/keyword", *keyword);
    return bytes.value_or(QByteArray());
}

int SettingsFile::reminderMinutesBefore() const
{
    const std::optional<QString> word = text("reminder/minutesBefore");
    if (!word)
        return 0;
    bool number = false;
    const int minutes = word->toInt(&number);
    if (!number || !ReminderSchedule::isChoice(minutes)) {
        refuse("reminder/minutesBefore", *word);
        return 0;
    }
    return minutes;
}

QStringList SettingsFile::sources() const
{
    const QVariant value = m_settings.value(QStringLiteral("listings/sources"));
    if (!value.isValid())
        return {};
    // One source reads back as a piece of text, several as a list; anything else (a value
    // Qt reads as some other type) is not a list of sources.
    const bool text = value.typeId() == QMetaType::QString;
    if (!text && value.typeId() != QMetaType::QStringList) {
        refuse("listings/sources", value.toString());
        return {};
    }
    const QStringList sources = text ? QStringList{value.toString()} : value.toStringList();
    if (text && sources.first().isEmpty())
        return {};
    // A line break or another control character could never have been typed as a source.
    for (const QString& source : sources) {
        if (source.isEmpty() ||
            std::any_of(source.begin(), source.end(), [](QChar c) { return c.unicode() < 0x20; })) {
            refuse("listings/sources", sources.join(QLatin1Char(',')));
            return {};
        }
    }
    return sources;
}

void SettingsFile::setWidgetLook(const WidgetLook& look)
{
    const auto yesNo = [](bool on) { return wordFor(Words<bool>(kYesNo), on); };
    if (look.place) {
        m_settings.setValue(QStringLiteral("widget/x"), QString::number(look.place->x()));
        m_settings.setValue(QStringLiteral("widget/y"), QString::number(look.place->y()));
    }
    m_settings.setValue(QStringLiteral("widget/clock"), yesNo(look.clock));
    m_settings.setValue(QStringLiteral("widget/progressLine"), yesNo(look.progressLine));
    m_settings.setValue(QStringLiteral("widget/compact"), yesNo(look.compact));
    m_settings.setValue(QStringLiteral("widget/frame"), yesNo(look.frame));
    m_settings.setValue(QStringLiteral("widget/keying"), yesNo(look.keying));
    m_settings.setValue(QStringLiteral("widget/scheme"),
                        wordFor(Words<WidgetLook::Scheme>(kSchemes), look.scheme));
    m_settings.setValue(QStringLiteral("widget/keyColor"),
                        wordFor(Words<Qt::GlobalColor>(kKeyColors),
                                look.keyColor == Qt::white ? Qt::white : Qt::black));
    m_settings.setValue(QStringLiteral("widget/next"), yesNo(look.next));
    write();
}

void SettingsFile::setFrequency(const QString& keyword)
{
    if (keyword.isEmpty())
        m_settings.remove(QStringLiteral("updates/frequency"));
    else
        m_settings.setValue(QStringLiteral("updates/frequency"), keyword);
    write();
}

void SettingsFile::setDisplayMode(Publisher::Mode mode)
{
    m_settings.setValue(QStringLiteral("display/mode"),
                        wordFor(Words<Publisher::Mode>(kModes), mode));
    write();
}

// A spent reminder is forgotten: the keyword goes.
void SettingsFile::setReminderKeyword(const QByteArray& keyword)
{
    if (keyword.isEmpty())
        m_settings.remove(QStringLiteral("reminder/keyword"));
    else
        m_settings.setValue(QStringLiteral("reminder/keyword"), win1250ToUnicode(keyword));
    write();
}

void SettingsFile::setReminderMinutesBefore(int minutes)
{
    m_settings.setValue(QStringLiteral("reminder/minutesBefore"),
                        QString::number(ReminderSchedule::isChoice(minutes) ? minutes : 0));
    write();
}

void SettingsFile::setSources(const QStringList& sources)
{
    QStringList kept;
    for (const QString& source : sources) {
        if (source.isEmpty())
            continue;
        kept << (source.contains(QLatin1String("://")) ? source
                                                       : QFileInfo(source).absoluteFilePath());
    }
    if (kept.isEmpty())
        m_settings.remove(QStringLiteral("listings/sources"));
    else
        m_settings.setValue(QStringLiteral("listings/sources"), kept);
    write();
}

// A file that cannot be written is said once; the program goes on without it.
void SettingsFile::write()
{
    m_settings.sync();
    if (m_settings.status() == QSettings::AccessError && !std::exchange(m_writeFailed, true))
        qCWarning(lcLog).noquote()
            << QStringLiteral(".mrowka: Nie moge zapisac ustawien w %1").arg(m_settings.fileName());
}
