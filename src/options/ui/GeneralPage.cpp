#include "GeneralPage.h"

#include "base/Prompter.h"
#include "options/Rules.h"
#include "options/SettingsTable.h"
#include "options/ui/OptionsWidgets.h"
#include "ui/Transparency.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QToolButton>

static_assert(vantry::options::MinimumVisibleLevel == vantry::ui::Transparency::MinimumLevel,
              "a loaded level and a level set in the dialog have the same floor");

namespace vantry::options {

using widgets::named;

namespace {

// The menu item of the file dialog; no path begins with a backslash.
const QString BrowseChoice = QStringLiteral("\\browse");

bool isSlot(int slot)
{
    return slot >= 0 && slot < GameSlotCount;
}

// "Description|PATTERN" as Qt writes a name filter: "Description (PATTERN)".
QString nameFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + u')';
}

// Under the filter that lists every program, the file dialog shows folders and the files the
// user may run; under the slot's own filter it shows what the names match, whatever their rights
// (a Windows hl.exe is not marked executable).
class ExecutablesOnly : public QSortFilterProxyModel
{
public:
    explicit ExecutablesOnly(QFileDialog* dialog) : QSortFilterProxyModel(dialog), m_dialog(dialog) {}
    void refilter() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files || m_dialog->selectedNameFilter() != GeneralPage::anyProgramFilter())
            return true;
        const QModelIndex index = files->index(row, 0, parent);
        return files->isDir(index) || files->fileInfo(index).isExecutable();
    }

private:
    QFileDialog* m_dialog;
};

} // namespace

GeneralPage::GeneralPage(QWidget* parent) : QWidget(parent)
{
    CBGame = named(new QComboBox(this), "CBGame");
    CBGame->addItems({QStringLiteral("HL"), QStringLiteral("CS1.5"), QStringLiteral("CS1.6"),
                      QStringLiteral("CZERO"), QStringLiteral("CSS"), QStringLiteral("HL2DM")});
    CBGame->setCurrentIndex(0);
    EditExe = named(new QLineEdit(this), "EditExe");
    EditExe->setReadOnly(true);
    SBExe = named(new QToolButton(this), "SBExe");
    SBExe->setText(QStringLiteral("..."));
    SBExe->setToolTip(tr("Обзор"));
    QFont bold = SBExe->font();
    bold.setBold(true);
    SBExe->setFont(bold);
    EditParam = named(new QLineEdit(this), "EditParam");
    EditParam->installEventFilter(this);
    CBParams = named(new QComboBox(this), "CBParams");
    CBParams->setCurrentIndex(-1);
    EditWrapper = named(new QLineEdit(this), "EditWrapper");
    EditWrapper->setPlaceholderText(QStringLiteral("gamemoderun %command%"));
    EditWrapper->setToolTip(tr("Команда, внутри которой запускается игра, как в Steam: gamemoderun "
                               "%command%, prime-run %command%, env FOO=1 %command%. Без %command% игра "
                               "добавляется в конец."));
    BitBtn2 = named(widgets::button(QStringLiteral("+"), this), "BitBtn2");
    BitBtn2->setToolTip(tr("Добавить параметр"));
    BitBtn1 = named(widgets::button(tr("Сброс"), this), "BitBtn1");
    BitBtn1->setToolTip(tr("Восстановить значение по умолчанию"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    BBSave = named(new QPushButton(tr("Сохранить"), this), "BBSave");
    BBSave->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BBSave->setDefault(true);
    BBSave->setEnabled(false);
    CBDclick = named(new QCheckBox(tr("Соединяться по двойному щелчку"), this), "CBDclick");
    CBDclick->setChecked(true);
    CBTrans = named(new QCheckBox(tr("Прозрачность"), this), "CBTrans");
    TBTrans = named(new QSlider(Qt::Horizontal, this), "TBTrans");
    TBTrans->setRange(50, 255);
    TBTrans->setTickInterval(3);
    TBTrans->setTickPosition(QSlider::TicksBelow);
    TBTrans->setValue(100);
    TBTrans->setEnabled(false);

    EditXash = named(new QLineEdit(this), "EditXashClient");
    EditXash->setReadOnly(true);
    EditXash->setPlaceholderText(tr("не задан"));
    SBXash = named(new QToolButton(this), "SBXashClient");
    SBXash->setText(QStringLiteral("..."));
    SBXash->setToolTip(tr("Обзор"));
    SBXash->setFont(bold);

    OD = named(new QFileDialog(this), "OD");
    // Qt's own dialog, whose name filters match without regard to case ("HL.EXE" finds hl.exe).
    OD->setOption(QFileDialog::DontUseNativeDialog);
    OD->setFileMode(QFileDialog::ExistingFile);
    OD->setAcceptMode(QFileDialog::AcceptOpen);
    OD->setSizeGripEnabled(true);
    auto* executables = new ExecutablesOnly(OD);
    OD->setProxyModel(executables);
    connect(OD, &QFileDialog::filterSelected, executables, &ExecutablesOnly::refilter);
    // The name field's completion list fills in from a folder read in the background, and could
    // open after the dialog had gone, taking the next click anywhere for itself.
    if (auto* name = OD->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->setCompleter(nullptr);
    m_chooseExecutable = [](QFileDialog& dialog) {
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            return dialog.selectedFiles().constFirst();
        return QString();
    };

    auto* grid = new QGridLayout(this);
    grid->addWidget(widgets::boldLabel(tr("Игра:"), this), 0, 0);
    grid->addWidget(CBGame, 0, 1, 1, 3);
    grid->addWidget(widgets::boldLabel(tr("Путь к игре:"), this), 1, 0);
    auto* exeRow = new QHBoxLayout;
    exeRow->addWidget(EditExe);
    exeRow->addWidget(SBExe);
    grid->addLayout(exeRow, 1, 1, 1, 3);
    grid->addWidget(widgets::boldLabel(tr("Параметры:"), this), 2, 0);
    grid->addWidget(EditParam, 2, 1, 1, 3);
    auto* paramRow = new QHBoxLayout;
    paramRow->addWidget(CBParams, 1);
    paramRow->addWidget(BitBtn2);
    paramRow->addWidget(BitBtn1);
    grid->addLayout(paramRow, 3, 1, 1, 3);
    grid->addWidget(widgets::boldLabel(tr("Обёртка:"), this), 4, 0);
    grid->addWidget(EditWrapper, 4, 1, 1, 3);
    QLabel* xashLabel = widgets::boldLabel(tr("Клиент Xash3D FWGS:"), this);
    const QString xashTip = tr("Серверы Xash3D FWGS (протокол 49) подключаются этим клиентом, какой бы ни "
                               "была игра: xash3d или Flatpak su.xash.Engine.Compat.i386. Игры из Steam "
                               "он берёт из папки Half-Life в Steam.");
    xashLabel->setToolTip(xashTip);
    EditXash->setToolTip(xashTip);
    grid->addWidget(xashLabel, 5, 0);
    auto* xashRow = new QHBoxLayout;
    xashRow->addWidget(EditXash);
    xashRow->addWidget(SBXash);
    grid->addLayout(xashRow, 5, 1, 1, 3);
    grid->addWidget(CBDclick, 6, 0, 1, 3);
    grid->addWidget(BBSave, 6, 3);
    grid->addWidget(CBTrans, 7, 0);
    grid->addWidget(TBTrans, 7, 1, 1, 3);
    grid->setRowStretch(7, 1);

    connect(CBGame, &QComboBox::activated, this, [this] { CBGameChange(); });
    connect(SBExe, &QToolButton::clicked, this, [this] { SBExeClick(); });
    connect(SBXash, &QToolButton::clicked, this, [this] { SBXashClick(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BBSave, &QPushButton::clicked, this, [this] { BBSaveClick(); });
    // Typed or pasted, an edit of the wrapper is kept by «Сохранить» like the parameters.
    connect(EditWrapper, &QLineEdit::textEdited, this, [this] { BBSave->setEnabled(true); });
    // toggled, not clicked: the handlers also run when loading changes the boxes.
    connect(CBTrans, &QCheckBox::toggled, this, [this] { CBTransClick(); });
    connect(TBTrans, &QSlider::valueChanged, this, [this] { TBTransChange(); });
}

void GeneralPage::load(const StoredSettings& s)
{
    m_gamePaths = s.gamePaths;
    m_startParams = s.startParams;
    m_wrappers = s.launchWrappers;
    m_xashClient = s.xashClient;
    EditXash->setText(QDir::toNativeSeparators(m_xashClient));
    CBGame->setCurrentIndex(s.curItem);
    showSlot(s.curItem);
    ui::Transparency::setOn(s.trans);
    ui::Transparency::setLevel(s.transLevel);
    CBDclick->setChecked(s.doubleClick);
    CBTrans->setChecked(s.trans); // runs CBTransClick when it changes
    TBTrans->setEnabled(ui::Transparency::on());
    CBParams->clear();
    CBParams->addItems(s.paramChoices);
    CBParams->setCurrentIndex(-1);
    emit clientsChanged();
}

void GeneralPage::store(StoredSettings& s) const
{
    s.gamePaths = m_gamePaths;
    s.startParams = m_startParams;
    s.launchWrappers = m_wrappers;
    s.xashClient = m_xashClient;
    s.curItem = CBGame->currentIndex();
    s.trans = CBTrans->isChecked();
    s.transLevel = ui::Transparency::level();
    s.doubleClick = CBDclick->isChecked();
    s.paramChoices.clear();
    for (int i = 0; i < CBParams->count(); ++i)
        s.paramChoices.append(CBParams->itemText(i));
}

void GeneralPage::setExecutableChooser(std::function<QString(QFileDialog&)> chooser)
{
    m_chooseExecutable = std::move(chooser);
}

void GeneralPage::setClientOffers(ClientOffers offers, PickNotice notice)
{
    m_clientOffers = std::move(offers);
    m_pickNotice = std::move(notice);
}

void GeneralPage::setXashOffers(XashOffers offers)
{
    m_xashOffers = std::move(offers);
}

void GeneralPage::setSharedClient(SharedClient shared)
{
    m_sharedClient = std::move(shared);
}

QString GeneralPage::anyProgramFilter()
{
    return tr("Все программы (*)");
}

bool GeneralPage::doubleClickConnects() const
{
    return CBDclick->isChecked();
}

QString GeneralPage::gamePath(int slot) const
{
    return isSlot(slot) ? m_gamePaths[static_cast<std::size_t>(slot)] : QString();
}

QString GeneralPage::startParams(int slot) const
{
    return isSlot(slot) ? m_startParams[static_cast<std::size_t>(slot)] : QString();
}

QString GeneralPage::launchWrapper(int slot) const
{
    return isSlot(slot) ? m_wrappers[static_cast<std::size_t>(slot)] : QString();
}

void GeneralPage::dialogShown()
{
    // An edit left unsaved can no longer be saved once the button is off: the fields show the
    // slot as it is stored, which is what a launch uses.
    showSlot(CBGame->currentIndex());
    BBSave->setEnabled(false);
}

void GeneralPage::TS1Show()
{
    TBTrans->setValue(ui::Transparency::level());
    // The track bar raises a level below its minimum without reporting a change when its position
    // was already there; the level follows the position in every case.
    if (TBTrans->value() != ui::Transparency::level())
        TBTransChange();
}

void GeneralPage::showSlot(int slot)
{
    EditExe->setText(gamePath(slot));
    EditParam->setText(startParams(slot));
    EditWrapper->setText(launchWrapper(slot));
}

void GeneralPage::CBGameChange()
{
    showSlot(CBGame->currentIndex());
}

void GeneralPage::SBExeClick()
{
    // The Windows name first, as the file is called there, then the Linux clients' names.
    const int slot = CBGame->currentIndex();
    if (slot >= 0 && slot <= 3)
        OD->setNameFilters(
            {nameFilter(QStringLiteral("Half-Life (hl.exe hl_linux hl.sh)|HL.EXE hl_linux hl.sh")),
             anyProgramFilter()});
    else if (slot >= 4 && slot <= 5)
        OD->setNameFilters(
            {nameFilter(QStringLiteral("Half-Life2 (hl2.exe hl2_linux hl2.sh)|HL2.EXE hl2_linux hl2.sh")),
             anyProgramFilter()});
    const QString path = chooseClient(slot);
    // Nothing the choice opened may stay over the dialog and take the next click.
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    if (path.isEmpty())
        return;
    EditExe->setText(path);
    if (!isSlot(slot))
        return;
    // Kept at once: a path chosen and then lost to a switch of game, for want of «Сохранить», was
    // the commonest way to end up with no client.
    m_gamePaths[static_cast<std::size_t>(slot)] = path;
    emit clientsChanged();
    if (m_pickNotice)
        if (const QString notice = m_pickNotice(slot, path); !notice.isEmpty())
            widgets::error(notice);
    offerForOtherSlots(slot, path);
}

void GeneralPage::offerForOtherSlots(int slot, const QString& path)
{
    constexpr int GoldSrcSlots = 4;
    if (slot < 0 || slot >= GoldSrcSlots)
        return;
    std::array<QString, GameSlotCount> offered;
    for (int other = 0; other < GoldSrcSlots; ++other) {
        if (other == slot)
            continue;
        if (!gamePath(other).isEmpty())
            return; // not the first client: the user has chosen per game
        offered[static_cast<std::size_t>(other)] = m_sharedClient ? m_sharedClient(other, path) : path;
    }
    setPaths(offered, tr("Один клиент запускает все игры GoldSrc. Запускать «%1» и для %2?")
                          .arg(QDir::toNativeSeparators(path)));
}

void GeneralPage::offerSteamCopies(const std::array<QString, 4>& paths, const QString& folder)
{
    std::array<QString, GameSlotCount> offered;
    for (std::size_t slot = 0; slot < paths.size(); ++slot) {
        if (!m_gamePaths[slot].isEmpty())
            return;
        offered[slot] = paths[slot];
    }
    setPaths(offered, tr("Half-Life из Steam найден в %1. Запускать через Steam %2?")
                          .arg(QDir::toNativeSeparators(folder)));
}

// Asks once for every slot that has an offer ("%2" of the question: their labels), and sets them.
void GeneralPage::setPaths(const std::array<QString, GameSlotCount>& paths, const QString& question)
{
    QStringList labels;
    for (int slot = 0; slot < GameSlotCount; ++slot)
        if (!paths[static_cast<std::size_t>(slot)].isEmpty())
            labels << CBGame->itemText(slot);
    if (labels.isEmpty() || !prompter().confirm(question.arg(labels.join(QStringLiteral(", ")))))
        return;
    for (int slot = 0; slot < GameSlotCount; ++slot)
        if (const QString& path = paths[static_cast<std::size_t>(slot)]; !path.isEmpty())
            m_gamePaths[static_cast<std::size_t>(slot)] = path;
    EditExe->setText(gamePath(CBGame->currentIndex()));
    emit clientsChanged();
}

void GeneralPage::SBXashClick()
{
    QList<std::pair<QString, QString>> offers;
    if (m_xashOffers)
        offers = m_xashOffers();
    const auto browse = [this] {
        OD->setNameFilters({nameFilter(QStringLiteral("Xash3D FWGS|xash3d")), anyProgramFilter()});
        return m_chooseExecutable(*OD);
    };
    QString path = offers.isEmpty() ? browse() : chooseFromMenu(SBXash, offers);
    if (path == BrowseChoice)
        path = browse();
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    if (path.isEmpty())
        return;
    m_xashClient = path;
    EditXash->setText(QDir::toNativeSeparators(path));
    emit clientsChanged();
}

// The offered clients in a menu under the button, the file dialog behind its last item; the file
// dialog at once when nothing is offered.
QString GeneralPage::chooseClient(int slot)
{
    if (!m_clientOffers || !isSlot(slot))
        return m_chooseExecutable(*OD);
    QStringList problems;
    const QList<std::pair<QString, QString>> offers = m_clientOffers(slot, &problems);
    if (!problems.isEmpty())
        widgets::error(problems.join(u'\n'));
    if (offers.isEmpty())
        return m_chooseExecutable(*OD);
    const QString chosen = chooseFromMenu(SBExe, offers);
    return chosen == BrowseChoice ? m_chooseExecutable(*OD) : chosen;
}

// The offers in a menu under the button, "Обзор..." last: the chosen path, BrowseChoice for the
// file dialog, empty when the menu was closed.
QString GeneralPage::chooseFromMenu(QToolButton* button, const QList<std::pair<QString, QString>>& offers)
{
    QMenu menu(button);
    for (const auto& [label, path] : offers)
        menu.addAction(label)->setData(path);
    menu.addSeparator();
    menu.addAction(tr("Обзор..."))->setData(BrowseChoice);
    const QAction* chosen = menu.exec(button->mapToGlobal(QPoint(0, button->height())));
    return chosen ? chosen->data().toString() : QString();
}

void GeneralPage::BitBtn2Click()
{
    const QString choice = CBParams->currentText();
    if (choice.isEmpty())
        return;
    EditParam->setText(EditParam->text() + u' ' + choice);
    BBSave->setEnabled(true);
}

void GeneralPage::BitBtn1Click()
{
    const int slot = CBGame->currentIndex();
    if (!isSlot(slot))
        return;
    const QString before = EditParam->text();
    EditParam->setText(settings::defaultStartParams(slot));
    if (EditParam->text() != before)
        BBSave->setEnabled(true);
}

void GeneralPage::BBSaveClick()
{
    const int slot = CBGame->currentIndex();
    if (isSlot(slot)) {
        m_gamePaths[static_cast<std::size_t>(slot)] = EditExe->text();
        m_startParams[static_cast<std::size_t>(slot)] = EditParam->text();
        m_wrappers[static_cast<std::size_t>(slot)] = EditWrapper->text().trimmed();
        emit clientsChanged();
    }
    BBSave->setEnabled(false);
}

void GeneralPage::CBTransClick()
{
    const bool on = CBTrans->isChecked();
    ui::Transparency::setOn(on);
    TBTrans->setEnabled(on);
}

void GeneralPage::TBTransChange()
{
    ui::Transparency::setLevel(TBTrans->value());
}

bool GeneralPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == EditParam && event->type() == QEvent::KeyPress) {
        // Every character key, Backspace included, counts as an edit; keys that make no character
        // (arrows, Delete) and the keys the dialog itself acts on do not.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString typed = key->text();
        if (!typed.isEmpty() && key->key() != Qt::Key_Delete && key->key() != Qt::Key_Return &&
            key->key() != Qt::Key_Enter && key->key() != Qt::Key_Escape && key->key() != Qt::Key_Tab &&
            key->key() != Qt::Key_Backtab)
            BBSave->setEnabled(true);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vantry::options
