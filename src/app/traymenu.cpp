#include "app/traymenu.h"

#include "widgets/look.h"

#include <QActionGroup>

TrayMenu::TrayMenu(QWidget* parent) : QMenu(parent), m_frequencies(new QActionGroup(this))
{
    setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [](QMenu* menu, const char* name, const QString& caption) {
        return named(menu->addAction(caption), name);
    };
    addAction(tr("ekranik - konfiguracja"))->setEnabled(false);
    addSeparator(); // N1
    connect(item(this, "Ustawienia1", tr("Ustawienia")), &QAction::triggered, this,
            &TrayMenu::settingsChosen);
    connect(item(this, "Wybierzkanay1", tr("Wybierz kanały…")), &QAction::triggered, this,
            &TrayMenu::channelsChosen);

    QMenu* Statystyki1 = named(addMenu(tr("Statystyki")), "Statystyki1");
    pobrano = item(Statystyki1, "pobrano", tr("Pobrano: ~~ kB | ~~ MB"));
    akt = item(Statystyki1, "akt", tr("Udane aktualizacje: ~~ razy"));
    pobrano->setEnabled(false);
    akt->setEnabled(false);

    QMenu* Czstotliwo1 = named(addMenu(tr("Częstotliwość aktualizacji")), "Czstotliwo1");
    const struct {
        const char* name;
        const char* caption;
        const char* keyword;
    } frequencies[] = {{"Extremalnieszybko1", QT_TR_NOOP("Extremalnie szybko [2s]"), "extreme"},
                       {"Najszybciej5s1", QT_TR_NOOP("Najszybciej [5s]"), "fastest"},
                       {"Szybko10s1", QT_TR_NOOP("Szybko [10s]"), "fast"},
                       {"Normalnie20s1", QT_TR_NOOP("Normalnie [20s]"), "normal"},
                       {"Wolno40s1", QT_TR_NOOP("Wolno [40s]"), "slow"},
                       {"Najwolniej60s1", QT_TR_NOOP("Najwolniej [60s]"), "slowest"}};
    // Until one is picked the engine runs at the normal rate, the bold default, checked.
    for (const auto& f : frequencies) {
        QAction* choice = item(Czstotliwo1, f.name, tr(f.caption));
        const QString keyword = QString::fromLatin1(f.keyword);
        choice->setCheckable(true);
        choice->setData(keyword);
        m_frequencies->addAction(choice);
        connect(choice, &QAction::triggered, this,
                [this, keyword] { emit frequencyChosen(keyword); });
        if (keyword == QLatin1String("normal")) {
            Czstotliwo1->setDefaultAction(choice);
            choice->setChecked(true);
        }
    }
    Czstotliwo1->addSeparator();
    Czstotliwo1
        ->addAction(tr("Częstotliwość oznacza co ile stacja bedzie aktualizowana; "
                       "20s oznacza 1 stacje na 20 sekund [1/20s]"))
        ->setEnabled(false);
    connect(item(this, "Koniec1", tr("Koniec")), &QAction::triggered, this, &TrayMenu::endChosen);
}

bool TrayMenu::chooseFrequency(const QString& keyword)
{
    for (QAction* choice : m_frequencies->actions()) {
        if (choice->data().toString() == keyword) {
            choice->trigger();
            return true;
        }
    }
    return false;
}

void TrayMenu::showPobrano(const QString& caption)
{
    pobrano->setText(caption);
}

void TrayMenu::showAkt(const QString& caption)
{
    akt->setText(caption);
}
