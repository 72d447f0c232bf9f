#include "app/traymenu.h"

#include "update/updateengine.h"
#include "widgets/look.h"

TrayMenu::TrayMenu(UpdateEngine* engine, QWidget* parent) : QMenu(parent)
{
    setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [](QMenu* menu, const char* name, const QString& caption) {
        return named(menu->addAction(caption), name);
    };
    addAction(QStringLiteral("ekranik - konfiguracja"))->setEnabled(false);
    addSeparator(); // N1
    connect(item(this, "Ustawienia1", QStringLiteral("Ustawienia")), &QAction::triggered, this,
            &TrayMenu::settingsChosen);

    QMenu* Statystyki1 = named(addMenu(QStringLiteral("Statystyki")), "Statystyki1");
    QAction* pobrano = item(Statystyki1, "pobrano", QStringLiteral("Pobrano: ~~ kB | ~~ MB"));
    QAction* akt = item(Statystyki1, "akt", QStringLiteral("Udane aktualizacje: ~~ razy"));
    pobrano->setEnabled(false);
    akt->setEnabled(false);
    connect(engine, &UpdateEngine::pobranoChanged, pobrano, &QAction::setText);
    connect(engine, &UpdateEngine::aktChanged, akt, &QAction::setText);

    QMenu* Czstotliwo1 =
        named(addMenu(QStringLiteral("Częstotliwość aktualizacji")), "Czstotliwo1");
    const struct {
        const char* name;
        const char* caption;
        const char* keyword;
    } frequencies[] = {{"Extremalnieszybko1", "Extremalnie szybko [2s]", "extreme"},
                       {"Najszybciej5s1", "Najszybciej [5s]", "fastest"},
                       {"Szybko10s1", "Szybko [10s]", "fast"},
                       {"Normalnie20s1", "Normalnie [20s]", "normal"},
                       {"Wolno40s1", "Wolno [40s]", "slow"},
                       {"Najwolniej60s1", "Najwolniej [60s]", "slowest"}};
    for (const auto& f : frequencies) {
        QAction* choice = item(Czstotliwo1, f.name, QString::fromUtf8(f.caption));
        connect(choice, &QAction::triggered, engine,
                [engine, keyword = QString::fromLatin1(f.keyword)] {
                    engine->SetUpdateFrequency(keyword);
                });
        if (QByteArrayView(f.keyword) == "normal")
            Czstotliwo1->setDefaultAction(choice);
    }
    Czstotliwo1->addSeparator();
    Czstotliwo1
        ->addAction(QStringLiteral("Częstotliwość oznacza co ile stacja bedzie aktualizowana; "
                                   "20s oznacza 1 stacje na 20 sekund [1/20s]"))
        ->setEnabled(false);
    connect(item(this, "Koniec1", QStringLiteral("Koniec")), &QAction::triggered, this,
            &TrayMenu::endChosen);
}
