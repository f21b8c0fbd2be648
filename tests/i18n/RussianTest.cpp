// Without an English language the windows show the program's own Russian texts, exactly.
#include "Controls.h"
#include "WindowTexts.h"
#include "shell/ScanGames.h"
#include "shell/Translation.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

using test::clickButton;
using test::control;

using test::ShownText;
using test::Windows;

QStringList sorted(QStringList texts)
{
    texts.sort();
    return texts;
}

TEST(Russian, EveryWindowShowsTheProgramsRussianTextsAsWritten)
{
    Windows w(UiLanguage::Russian);
    const QList<QWidget*> windows = w.windows();
    const QList<QStringList> expected{
        // The main window, its menus and its list headers.
        {QStringLiteral("Сканирование:"),
         QStringLiteral("И г р а"),
         QStringLiteral("Сканировать"),
         QStringLiteral("Сканировать все IP"),
         QStringLiteral("Остановить"),
         QStringLiteral("Остановить сканирование"),
         QStringLiteral("Обновить текущие сервера"),
         QStringLiteral("Автоматически"),
         QStringLiteral("Вкл/Откл автосоединение"),
         QStringLiteral("Играть"),
         QStringLiteral("Соединиться с сервером"),
         QStringLiteral("Игроки"),
         QStringLiteral("Правила"),
         QStringLiteral("Игра"),
         QStringLiteral("Имя"),
         QStringLiteral("Адрес"),
         QStringLiteral("Порт"),
         QStringLiteral("Карта"),
         QStringLiteral("ОС"),
         QStringLiteral("Пинг"),
         QStringLiteral("Ник"),
         QStringLiteral("Убийства"),
         QStringLiteral("Правило"),
         QStringLiteral("Значение"),
         QStringLiteral("Файл"),
         QStringLiteral("Скрыть  (Shift+Alt+S)"),
         QStringLiteral("Выход"),
         QStringLiteral("Опции"),
         QStringLiteral("О программе..."),
         QStringLiteral("Автосоединение"),
         QStringLiteral("Добавить в избранное"),
         QStringLiteral("Копировать адрес"),
         QStringLiteral("Подключиться к..."),
         QStringLiteral("Недавние"),
         QStringLiteral("Сервер"),
         QStringLiteral("Когда")},
        // The options dialog, its three pages.
        {QStringLiteral("Настройки"),
         QStringLiteral("Основные"),
         QStringLiteral("Сканирование"),
         QStringLiteral("Избранное"),
         QStringLiteral("Игра:"),
         QStringLiteral("Путь к игре:"),
         QStringLiteral("Обзор"),
         QStringLiteral("Параметры:"),
         QStringLiteral("Добавить параметр"),
         QStringLiteral("Сброс"),
         QStringLiteral("Восстановить значение по умолчанию"),
         QStringLiteral("Сохранить"),
         QStringLiteral("Соединяться по двойному щелчку"),
         QStringLiteral("Прозрачность"),
         QStringLiteral("Вещание"),
         QStringLiteral("Сканировать старые серверы"),
         QStringLiteral("Все CS1.5 и старые серверы CS1.6"),
         QStringLiteral("Выше"),
         QStringLiteral("Ниже"),
         QStringLiteral("С IP:"),
         QStringLiteral("До IP:"),
         QStringLiteral("С:"),
         QStringLiteral("До:"),
         QStringLiteral("Удалить"),
         QStringLiteral("Добавить"),
         QStringLiteral("Порты:"),
         QStringLiteral("Игры"),
         QStringLiteral("Задержка"),
         QStringLiteral("мс"),
         QStringLiteral("IP - Адрес"),
         QStringLiteral("Порт"),
         QStringLiteral("Автосканирование"),
         QStringLiteral("Интервал (сек):")},
        // The about box.
        {QStringLiteral("О программе..."), QStringLiteral("версия 1.98"),
         QStringLiteral("Быстрый поиск игровых серверов"), QStringLiteral("Поддержка игр:"),
         QStringLiteral("Страница в интернете:"), QStringLiteral("Разработка:"), QStringLiteral("Спасибо:"),
         QStringLiteral("всем, кто проверял поиск в своих сетях")},
        // The password prompt.
        {QStringLiteral("Пароль"), QStringLiteral("Введите пароль"), QStringLiteral("Показать пароль"),
         QStringLiteral("Отмена")},
        // The auto-connect dialog.
        {QStringLiteral("Автосоединение"), QStringLiteral("Подключаться, если игроков:"),
         QStringLiteral("Спросить перед соединением"), QStringLiteral("Пароль:"), QStringLiteral("Отмена")},
        // «Подключиться к...».
        {QStringLiteral("Подключиться к серверу"), QStringLiteral("Адрес (IP:порт):"),
         QStringLiteral("Игра:"), QStringLiteral("Подключиться"), QStringLiteral("Отмена")},
    };
    // Each text as it was written, on the window it belongs to; windows may show more of them.
    ASSERT_EQ(windows.size(), expected.size());
    for (int i = 0; i < windows.size(); ++i) {
        const QStringList shown = test::cyrillicTexts(test::shownTexts(windows[i]));
        for (const QString& text : expected[i])
            EXPECT_TRUE(shown.contains(text))
                << qPrintable(windows[i]->windowTitle()) << " lacks \"" << qPrintable(text) << "\"";
    }
    EXPECT_EQ(test::cyrillicTexts(test::shownTexts(&w.trayMenu())),
              sorted({QStringLiteral("Показать  (Shift+Alt+S)"), QStringLiteral("Выход")}));
}

TEST(Russian, QuestionStatusAndScanCaptionStayRussianAfterEnglishWasUsed)
{
    {
        // English first: a translation removed again leaves nothing behind.
        Windows english(UiLanguage::English);
        ASSERT_EQ(control<QPushButton>(english.form(), "SBScanAll")->text(), QStringLiteral("Scan"));
    }
    Windows w(UiLanguage::Russian);
    TForm1& form = w.form();
    form.show();
    EXPECT_EQ(control<QPushButton>(form, "SBScanAll")->text(), QStringLiteral("Сканировать"));
    test::listAndSelect(form, true);
    QString caption;
    QStringList answers;
    test::whenBoxOpens(&form, [&](QMessageBox& box) {
        caption = box.windowTitle();
        for (const QAbstractButton* b : box.buttons())
            answers << b->text();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    clickButton(form, "SBPlay");
    EXPECT_EQ(caption, QStringLiteral("Подтверждение"));
    EXPECT_EQ(sorted(answers), sorted({QStringLiteral("&Да"), QStringLiteral("&Нет")}));
}

} // namespace
} // namespace vantry
