<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Assembler</name>
    <message>
        <source>Aktualizacja w toku, proszę chwile poczekać zanim pojawią się pierwsze efekty (średnio 30 sekund)...</source>
        <translation>Updating, please wait a moment before the first results show up (30 seconds on average)...</translation>
    </message>
    <message>
        <source>Pod adresem %1 działa portal, którego ekranik nie uruchamiał: to on wybiera, jaki program podaje.</source>
        <translation>A portal that ekranik did not start runs at %1: it chooses which listings it serves.</translation>
    </message>
    <message>
        <source>Wczytywanie programu...</source>
        <translation>Loading listings...</translation>
    </message>
</context>
<context>
    <name>ChannelModel</name>
    <message>
        <source>Kanał</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Teraz</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Listings</translation>
    </message>
</context>
<context>
    <name>ChannelPicker</name>
    <message>
        <source>Wybierz kanały</source>
        <translation>Choose channels</translation>
    </message>
    <message>
        <source>plik XMLTV albo adres http(s)://…</source>
        <translation>XMLTV file or http(s):// address…</translation>
    </message>
    <message>
        <source>Wybierz plik z programem XMLTV</source>
        <translation>Choose an XMLTV listings file</translation>
    </message>
    <message>
        <source>Wczytaj</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Plik XMLTV (np. z tv_grab_pl) albo jego adres; program przykładowy jest zmyślony.</source>
        <translation>An XMLTV file (from tv_grab_pl, say) or its address; the sample listings are made up.</translation>
    </message>
    <message>
        <source>Program przykładowy</source>
        <translation>Sample listings</translation>
    </message>
    <message>
        <source>Zmyślony program kilku stacji, do wypróbowania ekranika</source>
        <translation>Made-up listings of a few stations, to try ekranik out</translation>
    </message>
    <message>
        <source>Szukaj kanału</source>
        <translation>Search channels</translation>
    </message>
    <message>
        <source>Źródło programu:</source>
        <translation>Listings source:</translation>
    </message>
    <message>
        <source>Wczytywanie programu…</source>
        <translation>Loading listings…</translation>
    </message>
    <message>
        <source>Plik z programem XMLTV</source>
        <translation>XMLTV listings file</translation>
    </message>
    <message>
        <source>Program XMLTV (*.xml *.xmltv *.gz *.xz);;Wszystkie pliki (*)</source>
        <translation>XMLTV listings (*.xml *.xmltv *.gz *.xz);;All files (*)</translation>
    </message>
</context>
<context>
    <name>ChannelTimes</name>
    <message>
        <source>pn</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>wt</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>śr</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>cz</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>pt</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>so</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>nd</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>do %1</source>
        <translation>until %1</translation>
    </message>
    <message>
        <source>do %1 %2</source>
        <translation>until %1 %2</translation>
    </message>
</context>
<context>
    <name>ChannelsLoader</name>
    <message>
        <source>Nie można utworzyć folderu tymczasowego na listę kanałów.</source>
        <translation>Cannot create a temporary folder for the channel list.</translation>
    </message>
    <message>
        <source>Lista kanałów z %1 jest większa niż %2 MiB (kMaxAnswerBytes).</source>
        <translation>The channel list from %1 is larger than %2 MiB (kMaxAnswerBytes).</translation>
    </message>
    <message>
        <source>Nie udało się pobrać listy kanałów z %1.</source>
        <translation>Could not download the channel list from %1.</translation>
    </message>
    <message>
        <source>Nie można odczytać pobranej listy kanałów z %1.</source>
        <translation>Cannot read the channel list downloaded from %1.</translation>
    </message>
</context>
<context>
    <name>DebugArea</name>
    <message>
        <source>kasuj</source>
        <translation>clear</translation>
    </message>
    <message>
        <source>dodaj fake</source>
        <translation>add fake</translation>
    </message>
    <message>
        <source>Aktualizuje %1 %2/%3</source>
        <translation>Updating %1 %2/%3</translation>
    </message>
</context>
<context>
    <name>DownloadStatistics</name>
    <message>
        <source>Pobrano: %1 kB | %2 MB</source>
        <translation>Downloaded: %1 kB | %2 MB</translation>
    </message>
    <message>
        <source>Udane aktualizacje: %1 razy</source>
        <translation>Successful updates: %1</translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>[ok]</source>
        <translation>[ok]</translation>
    </message>
    <message>
        <source>[kanały]</source>
        <translation>[channels]</translation>
    </message>
    <message>
        <source>Dodaj stację</source>
        <translation>Add station</translation>
    </message>
    <message>
        <source>Usuń stację</source>
        <translation>Delete station</translation>
    </message>
    <message>
        <source>Powiadomienie</source>
        <translation>Notification</translation>
    </message>
    <message>
        <source>Przypomnienie</source>
        <translation>Reminder</translation>
    </message>
    <message>
        <source>RadudoVorozu na pulpicie</source>
        <translation>RadudoVorozu on the desktop</translation>
    </message>
    <message>
        <source>Dymek obok zegarka [ XP ]</source>
        <translation>Balloon by the clock [ XP ]</translation>
    </message>
    <message>
        <source>Ustawienia RadudoVorozu</source>
        <translation>RadudoVorozu settings</translation>
    </message>
    <message>
        <source>Szukam: %1</source>
        <translation>Seeking: %1</translation>
    </message>
    <message>
        <source>Budowa: nazwa.stacji.tv|http://adres.do.stacji</source>
        <translation>Form: station.name.tv|http://station.address</translation>
    </message>
    <message>
        <source>Podaj nazwę programu<byte value="xd"/>np. Tobek Zorowiecki, Tobek, Zórowiecki</source>
        <translation>Enter a programme title<byte value="xd"/>e.g. Tobek Zorowiecki, Tobek, Zórowiecki</translation>
    </message>
    <message>
        <source>Adres do aktualnego programu</source>
        <translation>Address of the current listings</translation>
    </message>
</context>
<context>
    <name>Form2</name>
    <message>
        <source>Aktualizacja...</source>
        <translation>Updating...</translation>
    </message>
</context>
<context>
    <name>Form3</name>
    <message>
        <source>ekranik - Przypomnienie</source>
        <translation>ekranik - Reminder</translation>
    </message>
    <message>
        <source>ekranik - przypomnienie</source>
        <translation>ekranik - reminder</translation>
    </message>
    <message>
        <source>Ustawiono przypomnienie:</source>
        <translation>Reminder set:</translation>
    </message>
    <message>
        <source>znaleziono słowo:</source>
        <translation>word found:</translation>
    </message>
    <message>
        <source>w programie:</source>
        <translation>in programme:</translation>
    </message>
    <message>
        <source>w stacji:</source>
        <translation>on station:</translation>
    </message>
    <message>
        <source>Schowaj</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>szukane słowo: %1</source>
        <translation>keyword: %1</translation>
    </message>
    <message>
        <source>znalezione w programie: %1</source>
        <translation>found in programme: %1</translation>
    </message>
    <message>
        <source>w stacji: %1</source>
        <translation>on station: %1</translation>
    </message>
    <message>
        <source>o godzinie: %1</source>
        <translation>at: %1</translation>
    </message>
</context>
<context>
    <name>NextRow</name>
    <message>
        <source>następnie %1 %2</source>
        <translation>next %1 %2</translation>
    </message>
</context>
<context>
    <name>Okienko</name>
    <message>
        <source>okienko</source>
        <translation>input</translation>
    </message>
    <message>
        <source>ekranik - informacja</source>
        <translation>ekranik - information</translation>
    </message>
    <message>
        <source>gdy leci</source>
        <translation>when on</translation>
    </message>
    <message>
        <source>%1 min przed</source>
        <translation>%1 min before</translation>
    </message>
    <message>
        <source>Słowo zawiera znaki, których nie ma w polskich tytułach (Windows-1250), więc nigdy nie zostałoby znalezione.</source>
        <translation>The word has characters that Polish titles never have (Windows-1250), so it would never be found.</translation>
    </message>
    <message>
        <source>Tekst zawiera znaki, których nie da się zapisać w liście stacji (Windows-1250).</source>
        <translation>The text has characters that the station list cannot hold (Windows-1250).</translation>
    </message>
    <message>
        <source>Brakuje znaku „|” między nazwą stacji a adresem (nazwa.stacji.tv|http://adres.do.stacji).</source>
        <translation>A &quot;|&quot; is missing between the station name and the address (station.name.tv|http://station.address).</translation>
    </message>
    <message>
        <source>Dodaj stację</source>
        <translation>Add station</translation>
    </message>
    <message>
        <source>Program TV na dziś</source>
        <translation>Today&apos;s TV listings</translation>
    </message>
    <message>
        <source>Dodaj przypomnienie</source>
        <translation>Add reminder</translation>
    </message>
</context>
<context>
    <name>PortalChannels</name>
    <message>
        <source>Portal podał więcej kanałów, niż można wybrać (kMaxPortalChannels = %1).</source>
        <translation>The portal gave more channels than can be chosen (kMaxPortalChannels = %1).</translation>
    </message>
    <message>
        <source>Odpowiedź portalu nie jest poprawnym dokumentem JSON (błąd w bajcie %1).</source>
        <translation>The portal&apos;s answer is not a valid JSON document (error at byte %1).</translation>
    </message>
    <message>
        <source>Odpowiedź portalu nie jest obiektem JSON.</source>
        <translation>The portal&apos;s answer is not a JSON object.</translation>
    </message>
    <message>
        <source>Odpowiedź portalu ma błędne pole „%1”.</source>
        <translation>The portal&apos;s answer has a wrong field &quot;%1&quot;.</translation>
    </message>
</context>
<context>
    <name>ReminderNotifier</name>
    <message>
        <source>Przypomnij za 5 min</source>
        <translation>Remind me in 5 min</translation>
    </message>
    <message>
        <source>Wyłącz przypomnienie</source>
        <translation>Turn the reminder off</translation>
    </message>
    <message>
        <source>ekranik - Przypomnienie</source>
        <translation>ekranik - Reminder</translation>
    </message>
</context>
<context>
    <name>SettingsPanel</name>
    <message>
        <source>radudovorozu - ustawienia</source>
        <translation>radudovorozu - settings</translation>
    </message>
    <message>
        <source>Pokaż dzień i godzine</source>
        <translation>Show day and time</translation>
    </message>
    <message>
        <source>Pokaż potęp aktualizacji </source>
        <translation>Show update progress</translation>
    </message>
    <message>
        <source>Pasek przewijania jeśli dużo programów</source>
        <translation>Scroll bar for many programmes</translation>
    </message>
    <message>
        <source>Obramowanie RadudoVorozu</source>
        <translation>RadudoVorozu frame</translation>
    </message>
    <message>
        <source>Przeźroczystość RadudoVorozu</source>
        <translation>RadudoVorozu transparency</translation>
    </message>
    <message>
        <source>Następny program</source>
        <translation>Next programme</translation>
    </message>
    <message>
        <source>Czarny</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>Biały</source>
        <translation>White</translation>
    </message>
</context>
<context>
    <name>StationEntry</name>
    <message>
        <source>Nazwa stacji (tekst przed „|”) nie może być pusta.</source>
        <translation>The station name (the text before &quot;|&quot;) cannot be empty.</translation>
    </message>
    <message>
        <source>Nazwa stacji nie może być samą kropką „.” ani dwiema kropkami „..”.</source>
        <translation>The station name cannot be a single dot &quot;.&quot; or two dots &quot;..&quot;.</translation>
    </message>
    <message>
        <source>Nazwa stacji nie może zawierać ukośnika „/” ani „\”.</source>
        <translation>The station name cannot contain a slash &quot;/&quot; or &quot;\&quot;.</translation>
    </message>
    <message>
        <source>Nazwa stacji nie może zaczynać się od dwukropka „:”.</source>
        <translation>The station name cannot start with a colon &quot;:&quot;.</translation>
    </message>
    <message>
        <source>Nazwa stacji nie może być taka sama jak nazwa pliku listy stacji „programy.tv” ani pliku zaznaczeń „programy_stan.tv”.</source>
        <translation>The station name cannot be the name of the station list file &quot;programy.tv&quot; or of the check marks file &quot;programy_stan.tv&quot;.</translation>
    </message>
    <message>
        <source>Nazwa stacji nie może zawierać znaków sterujących, takich jak tabulator czy znak końca wiersza.</source>
        <translation>The station name cannot contain control characters, such as a tab or a line end.</translation>
    </message>
</context>
<context>
    <name>TrayMenu</name>
    <message>
        <source>ekranik - konfiguracja</source>
        <translation>ekranik - setup</translation>
    </message>
    <message>
        <source>Ustawienia</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Wybierz kanały…</source>
        <translation>Choose channels…</translation>
    </message>
    <message>
        <source>Statystyki</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Pobrano: ~~ kB | ~~ MB</source>
        <translation>Downloaded: ~~ kB | ~~ MB</translation>
    </message>
    <message>
        <source>Udane aktualizacje: ~~ razy</source>
        <translation>Successful updates: ~~</translation>
    </message>
    <message>
        <source>Częstotliwość aktualizacji</source>
        <translation>Update frequency</translation>
    </message>
    <message>
        <source>Extremalnie szybko [2s]</source>
        <translation>Extremely fast [2s]</translation>
    </message>
    <message>
        <source>Najszybciej [5s]</source>
        <translation>Fastest [5s]</translation>
    </message>
    <message>
        <source>Szybko [10s]</source>
        <translation>Fast [10s]</translation>
    </message>
    <message>
        <source>Normalnie [20s]</source>
        <translation>Normal [20s]</translation>
    </message>
    <message>
        <source>Wolno [40s]</source>
        <translation>Slow [40s]</translation>
    </message>
    <message>
        <source>Najwolniej [60s]</source>
        <translation>Slowest [60s]</translation>
    </message>
    <message>
        <source>Częstotliwość oznacza co ile stacja bedzie aktualizowana; 20s oznacza 1 stacje na 20 sekund [1/20s]</source>
        <translation>The frequency says how often a station is updated; 20s means 1 station every 20 seconds [1/20s]</translation>
    </message>
    <message>
        <source>Koniec</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>WorkingFolder</name>
    <message>
        <source>nie można utworzyć folderu &quot;%1&quot;</source>
        <translation>cannot create the folder &quot;%1&quot;</translation>
    </message>
    <message>
        <source>nie można wejść do folderu &quot;%1&quot;</source>
        <translation>cannot enter the folder &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Program telewizyjny na pulpicie: co teraz leci na wybranych stacjach.
Pliki (programy.tv, programy_stan.tv, pobrane strony) trzyma w folderze z --folder,
w bieżącym, jeśli już są w nim pliki stacji, a poza tym w %1.
Ustawienia: %2.</source>
        <translation>TV listings on the desktop: what is on now on the chosen stations.
Its files (programy.tv, programy_stan.tv, downloaded pages) live in the folder of --folder,
in the current one if it already holds station files, and otherwise in %1.
Settings: %2.</translation>
    </message>
    <message>
        <source>Folder na pliki programu; utworzony, jeśli go nie ma.</source>
        <translation>Folder for the program&apos;s files; created if it is not there.</translation>
    </message>
    <message>
        <source>Program XMLTV (plik albo adres http/https, zwykły, gzip lub xz) dla własnego portalu programu; można podać kilka razy. Zastępuje zapamiętane źródła i zostaje zapamiętany.</source>
        <translation>XMLTV listings (a file or an http/https address, plain, gzip or xz) for the program&apos;s own portal; may be given several times. Replaces the kept sources and is kept.</translation>
    </message>
    <message>
        <source>Język programu: %1. Bez tego język pulpitu, jeśli jest na niego tłumaczenie, polski w locale C i POSIX, a poza tym angielski.</source>
        <translation>The program&apos;s language: %1. Without it the desktop&apos;s language when there is a translation for it, Polish in the C and POSIX locales, and English otherwise.</translation>
    </message>
    <message>
        <source>ekranik: nie ma tłumaczenia na język „%1” (są: %2)</source>
        <translation>ekranik: no translation into &quot;%1&quot; (there are: %2)</translation>
    </message>
</context>
</TS>
