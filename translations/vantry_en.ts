<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>vantry::ListFinder</name>
    <message>
        <source>Показано / в списке</source>
        <translation>Shown / listed</translation>
    </message>
</context>
<context>
    <name>vantry::TForm1</name>
    <message>
        <source>Сканирование:</source>
        <translation>Scan:</translation>
    </message>
    <message>
        <source>И г р а</source>
        <translation>Games</translation>
    </message>
    <message>
        <source>Сканировать все IP</source>
        <translation>Scan all IP addresses</translation>
    </message>
    <message>
        <source> Нет области уведомлений: окно свёрнуто, а не скрыто</source>
        <translation> No notification area: the window is minimised, not hidden</translation>
    </message>
    <message>
        <source>Остановить</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Остановить сканирование</source>
        <translation>Stop scanning</translation>
    </message>
    <message>
        <source>Обновить текущие сервера</source>
        <translation>Refresh the listed servers</translation>
    </message>
    <message>
        <source>Автоматически</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Вкл/Откл автосоединение</source>
        <translation>Turn auto-connect on or off</translation>
    </message>
    <message>
        <source>Играть</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Соединиться с сервером</source>
        <translation>Connect to the server</translation>
    </message>
    <message>
        <source>Игроки</source>
        <translation>Players</translation>
    </message>
    <message>
        <source>Правила</source>
        <translation>Rules</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Скрыть  (Shift+Alt+S)</source>
        <translation>Hide  (Shift+Alt+S)</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Опции</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>О программе...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>Автосоединение</source>
        <translation>Auto-connect</translation>
    </message>
    <message>
        <source>Добавить в избранное</source>
        <translation>Add to Favorites</translation>
    </message>
    <message>
        <source>Подключиться к...</source>
        <translation>Connect to...</translation>
    </message>
    <message>
        <source>Копировать адрес</source>
        <translation>Copy address</translation>
    </message>
</context>
<context>
    <name>vantry::TFormAbout</name>
    <message>
        <source>О программе...</source>
        <translation>About Vantry</translation>
    </message>
    <message>
        <source>версия 1.98</source>
        <translation>version 1.98</translation>
    </message>
    <message>
        <source>Быстрый поиск игровых серверов</source>
        <translation>Fast game server search</translation>
    </message>
    <message>
        <source>Поддержка игр:</source>
        <translation>Supported games:</translation>
    </message>
    <message>
        <source>Страница в интернете:</source>
        <translation>Web page:</translation>
    </message>
    <message>
        <source>Разработка:</source>
        <translation>Authors:</translation>
    </message>
    <message>
        <source>Спасибо:</source>
        <translation>Thanks to:</translation>
    </message>
    <message>
        <source>всем, кто проверял поиск в своих сетях</source>
        <translation>everyone who tested it on their networks</translation>
    </message>
</context>
<context>
    <name>vantry::Tray</name>
    <message>
        <source>Показать  (Shift+Alt+S)</source>
        <translation>Show  (Shift+Alt+S)</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>vantry::WidgetPrompter</name>
    <message>
        <source>Подтверждение</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>&amp;Да</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;Нет</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>vantry::browser::FilterBar</name>
    <message>
        <source>Поиск (Ctrl+F)</source>
        <translation>Search (Ctrl+F)</translation>
    </message>
    <message>
        <source>Имя, карта, адрес или игра</source>
        <translation>Name, map, address or game</translation>
    </message>
    <message>
        <source>Не полные</source>
        <translation>Not full</translation>
    </message>
    <message>
        <source>Не пустые</source>
        <translation>Not empty</translation>
    </message>
    <message>
        <source>Без пароля</source>
        <translation>No password</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Игра</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>Карта</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>Пинг</source>
        <translation>Ping</translation>
    </message>
    <message>
        <source>Наибольший пинг, мс</source>
        <translation>Highest ping, ms</translation>
    </message>
    <message>
        <source>Могу подключиться</source>
        <translation>Can join</translation>
    </message>
    <message>
        <source>Только серверы, для которых в настройках задан клиент: клиент игры, а для серверов Xash3D FWGS (протокол 49) клиент Xash3D FWGS</source>
        <translation>Only servers a client is set for in the settings: the game's client, and for Xash3D FWGS servers (protocol 49) the Xash3D FWGS client</translation>
    </message>
</context>
<context>
    <name>vantry::browser::PlayerFinder</name>
    <message>
        <source>Найти игрока</source>
        <translation>Find player</translation>
    </message>
</context>
<context>
    <name>vantry::browser::PlayerResults</name>
    <message>
        <source>Игрок</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>Счёт</source>
        <translation>Score</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
</context>
<context>
    <name>vantry::browser::PlayersModel</name>
    <message>
        <source>Ник</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>Убийства</source>
        <translation>Kills</translation>
    </message>
</context>
<context>
    <name>vantry::browser::RulesModel</name>
    <message>
        <source>Правило</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>vantry::browser::ScanEngine</name>
    <message>
        <source>Публичные списки включены, но не задан ни ключ Steam Web API, ни мастер-сервер. Укажите их в «Опции» → «Сканирование».</source>
        <translation>Public lists are on, but neither a Steam Web API key nor a master server is set. Set them in Options → Scanning.</translation>
    </message>
    <message>
        <source>Нет сети: не удалось найти адреса мастер-серверов. Проверьте подключение к интернету и повторите поиск.</source>
        <translation>No network: the master servers' addresses could not be found. Check the internet connection and scan again.</translation>
    </message>
    <message>
        <source>Steam Web API отклонил ключ, а другие списки серверов не прислали. Проверьте ключ в «Опции» → «Сканирование».</source>
        <translation>The Steam Web API refused the key, and no other list sent servers. Check the key in Options → Scanning.</translation>
    </message>
    <message>
        <source>Ни один мастер-сервер не прислал список. Повторите поиск позже.</source>
        <translation>No master server sent a list. Scan again later.</translation>
    </message>
    <message>
        <source> Завершено :)</source>
        <translation> Completed :)</translation>
    </message>
    <message>
        <source> Отменено :(</source>
        <translation> Canceled :(</translation>
    </message>
    <message>
        <source> Готово!!!</source>
        <translation> Done!!!</translation>
    </message>
    <message>
        <source>Сканировать</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source> Мастер-сервер: %1</source>
        <translation> Master server: %1</translation>
    </message>
    <message>
        <source>получено %1, опрошено %2, ответили %3</source>
        <translation>received %1, asked %2, answered %3</translation>
    </message>
</context>
<context>
    <name>vantry::browser::ServerListModel</name>
    <message>
        <source>Игра</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>Имя</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Карта</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>ОС</source>
        <translation>OS</translation>
    </message>
    <message>
        <source>Пинг</source>
        <translation>Ping</translation>
    </message>
    <message>
        <source>Xash3D FWGS (протокол 49): подключается клиентом Xash3D FWGS</source>
        <translation>Xash3D FWGS (protocol 49): joined with the Xash3D FWGS client</translation>
    </message>
    <message>
        <source>GoldSrc: подключается клиентом игры (hl_linux)</source>
        <translation>GoldSrc: joined with the game's client (hl_linux)</translation>
    </message>
    <message>
        <source>Source: подключается клиентом игры</source>
        <translation>Source: joined with the game's client</translation>
    </message>
</context>
<context>
    <name>vantry::launch::ConnectDialog</name>
    <message>
        <source>Подключиться к серверу</source>
        <translation>Connect to a server</translation>
    </message>
    <message>
        <source>Подключиться</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Адрес (IP:порт):</source>
        <translation>Address (IP:port):</translation>
    </message>
    <message>
        <source>Игра:</source>
        <translation>Game:</translation>
    </message>
</context>
<context>
    <name>vantry::launch::GameClients</name>
    <message>
        <source>Клиент Xash3D FWGS не задан: этот сервер работает на Xash3D FWGS (протокол 49), клиент GoldSrc к нему не подключится.</source>
        <translation>No Xash3D FWGS client is set: this server runs Xash3D FWGS (protocol 49), which the GoldSrc client cannot join.</translation>
    </message>
    <message>
        <source>Задайте его в окне «%1» на странице «%2», поле «%3».</source>
        <translation>Set it in the «%1» window, page «%2», field «%3».</translation>
    </message>
    <message>
        <source>Задайте путь в окне «%1» на странице «%2»: игра «%3», поле «%4».</source>
        <translation>Set the path in the «%1» window, page «%2»: game «%3», field «%4».</translation>
    </message>
</context>
<context>
    <name>vantry::launch::RecentList</name>
    <message>
        <source>Сервер</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Игра</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>Когда</source>
        <translation>When</translation>
    </message>
    <message>
        <source>Недавние</source>
        <translation>Recent</translation>
    </message>
</context>
<context>
    <name>vantry::launch::TFormAuto</name>
    <message>
        <source>Автосоединение</source>
        <translation>Auto-connect</translation>
    </message>
    <message>
        <source>Подключаться, если игроков:</source>
        <translation>Connect when player count is:</translation>
    </message>
    <message>
        <source>Спросить перед соединением</source>
        <translation>Ask before connecting</translation>
    </message>
    <message>
        <source>Пароль:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>vantry::launch::TFormPass</name>
    <message>
        <source>Пароль</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Введите пароль</source>
        <translation>Enter the password</translation>
    </message>
    <message>
        <source>Показать пароль</source>
        <translation>Show password</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>vantry::options::FavouritesPage</name>
    <message>
        <source>IP - Адрес</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Автосканирование</source>
        <translation>Auto-scan</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Интервал (сек):</source>
        <translation>Interval (sec):</translation>
    </message>
    <message>
        <source>%1
Карта: %2
Игроки: %3</source>
        <translation>%1
Map: %2
Players: %3</translation>
    </message>
</context>
<context>
    <name>vantry::options::GeneralPage</name>
    <message>
        <source>Обзор</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>Команда, внутри которой запускается игра, как в Steam: gamemoderun %command%, prime-run %command%, env FOO=1 %command%. Без %command% игра добавляется в конец.</source>
        <translation>The command the game is started inside, as in Steam: gamemoderun %command%, prime-run %command%, env FOO=1 %command%. Without %command% the game is added at the end.</translation>
    </message>
    <message>
        <source>Обёртка:</source>
        <translation>Wrapper:</translation>
    </message>
    <message>
        <source>Добавить параметр</source>
        <translation>Add the parameter</translation>
    </message>
    <message>
        <source>Сброс</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Восстановить значение по умолчанию</source>
        <translation>Restore the default parameters</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Соединяться по двойному щелчку</source>
        <translation>Connect on double-click</translation>
    </message>
    <message>
        <source>Прозрачность</source>
        <translation>Transparency</translation>
    </message>
    <message>
        <source>Игра:</source>
        <translation>Game:</translation>
    </message>
    <message>
        <source>Путь к игре:</source>
        <translation>Game path:</translation>
    </message>
    <message>
        <source>Параметры:</source>
        <translation>Parameters:</translation>
    </message>
    <message>
        <source>Все программы (*)</source>
        <translation>All programs (*)</translation>
    </message>
    <message>
        <source>Обзор...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Клиент Xash3D FWGS:</source>
        <translation>Xash3D FWGS client:</translation>
    </message>
    <message>
        <source>не задан</source>
        <translation>not set</translation>
    </message>
    <message>
        <source>Серверы Xash3D FWGS (протокол 49) подключаются этим клиентом, какой бы ни была игра: xash3d или Flatpak su.xash.Engine.Compat.i386. Игры из Steam он берёт из папки Half-Life в Steam.</source>
        <translation>Xash3D FWGS servers (protocol 49) are joined with this client, whatever their game: xash3d or the Flatpak su.xash.Engine.Compat.i386. It takes Steam's games from Steam's Half-Life folder.</translation>
    </message>
    <message>
        <source>Один клиент запускает все игры GoldSrc. Запускать «%1» и для %2?</source>
        <translation>One client runs every GoldSrc game. Use «%1» for %2 as well?</translation>
    </message>
    <message>
        <source>Half-Life из Steam найден в %1. Запускать через Steam %2?</source>
        <translation>Steam's Half-Life was found in %1. Start %2 through Steam?</translation>
    </message>
</context>
<context>
    <name>vantry::options::MasterSection</name>
    <message>
        <source>Мастер-сервер</source>
        <translation>Master server</translation>
    </message>
    <message>
        <source>Сначала получить список серверов от Steam и мастер-серверов</source>
        <translation>First fetch the list of servers from Steam and the master servers</translation>
    </message>
    <message>
        <source>Все регионы</source>
        <translation>All regions</translation>
    </message>
    <message>
        <source>США, восток</source>
        <translation>US East</translation>
    </message>
    <message>
        <source>США, запад</source>
        <translation>US West</translation>
    </message>
    <message>
        <source>Южная Америка</source>
        <translation>South America</translation>
    </message>
    <message>
        <source>Европа</source>
        <translation>Europe</translation>
    </message>
    <message>
        <source>Азия</source>
        <translation>Asia</translation>
    </message>
    <message>
        <source>Австралия</source>
        <translation>Australia</translation>
    </message>
    <message>
        <source>Ближний Восток</source>
        <translation>Middle East</translation>
    </message>
    <message>
        <source>Африка</source>
        <translation>Africa</translation>
    </message>
    <message>
        <source>Показать</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>UDP мастер-серверы:</source>
        <translation>UDP master servers:</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Регион:</source>
        <translation>Region:</translation>
    </message>
    <message>
        <source>Ключ Steam:</source>
        <translation>Steam key:</translation>
    </message>
    <message>
        <source>Серверов в секунду:</source>
        <translation>Servers per second:</translation>
    </message>
    <message>
        <source>автоматически</source>
        <translation>automatic</translation>
    </message>
    <message>
        <source>Не больше стольких серверов из списков в секунду; «автоматически»: столько, сколько выдерживает связь</source>
        <translation>At most this many listed servers a second; “automatic”: as many as the connection carries</translation>
    </message>
    <message>
        <source>Ключ Steam Web API: steamcommunity.com/dev/apikey</source>
        <translation>Steam Web API key: steamcommunity.com/dev/apikey</translation>
    </message>
</context>
<context>
    <name>vantry::options::ScanPage</name>
    <message>
        <source>Вещание</source>
        <translation>Broadcast</translation>
    </message>
    <message>
        <source>Сканировать старые серверы</source>
        <translation>Scan old servers</translation>
    </message>
    <message>
        <source>Все CS1.5 и старые серверы CS1.6</source>
        <translation>All CS1.5 servers and old CS1.6 servers</translation>
    </message>
    <message>
        <source>Выше</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>Ниже</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>С IP:</source>
        <translation>From IP:</translation>
    </message>
    <message>
        <source>До IP:</source>
        <translation>To IP:</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Порты:</source>
        <translation>Ports:</translation>
    </message>
    <message>
        <source>Игры</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>Задержка</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>мс</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>С:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>До:</source>
        <translation>To:</translation>
    </message>
</context>
<context>
    <name>vantry::options::TSettings</name>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Основные</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Сканирование</source>
        <translation>Scanning</translation>
    </message>
    <message>
        <source>Избранное</source>
        <translation>Favorites</translation>
    </message>
</context>
<context>
    <name>vantry::options::WatchSection</name>
    <message>
        <source>Следить за игроками</source>
        <translation>Watched players</translation>
    </message>
    <message>
        <source>Ник игрока</source>
        <translation>Player name</translation>
    </message>
</context>
<context>
    <name>vantry::options::XashSection</name>
    <message>
        <source>Списки Xash3D FWGS</source>
        <translation>Xash3D FWGS lists</translation>
    </message>
    <message>
        <source>Серверы Half-Life и Counter-Strike 1.6 от мастер-серверов Xash3D FWGS, без ключа</source>
        <translation>Half-Life and Counter-Strike 1.6 servers from the Xash3D FWGS master servers, no key needed</translation>
    </message>
    <message>
        <source>Мастер-серверы Xash3D:</source>
        <translation>Xash3D master servers:</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Адрес HTTP-списка серверов; пусто: не спрашивать</source>
        <translation>Address of the HTTP server list; empty: not asked</translation>
    </message>
    <message>
        <source>HTTP-список:</source>
        <translation>HTTP list:</translation>
    </message>
</context>
<context>
    <name>vantry::shell::MainScanSink</name>
    <message>
        <source>Поиск серверов</source>
        <translation>Server search</translation>
    </message>
</context>
</TS>
