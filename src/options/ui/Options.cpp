#include "Options.h"

#include "base/IniFile.h"
#include "options/SettingsHost.h"
#include "options/ui/ArrowSpinBox.h"
#include "options/ui/IPv4Edit.h"
#include "options/ui/PortEdit.h"
#include "ui/Transparency.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantry::options {

namespace {

QLabel* boldLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QCheckBox* boldCheckBox(const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    QFont font = box->font();
    font.setBold(true);
    box->setFont(font);
    return box;
}

QGroupBox* boldGroup(const QString& title, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    // Only the title is bold; a font set on the box would pass to the fields inside.
    group->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));
    return group;
}

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false); // Enter presses the save button only
    return b;
}

QTreeWidget* reportList(const QStringList& columns, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->setStyleSheet(QStringLiteral("QTreeView::item { border: 1px solid palette(midlight); }"));
    return list;
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
        if (!files || m_dialog->selectedNameFilter() != TSettings::anyProgramFilter())
            return true;
        const QModelIndex index = files->index(row, 0, parent);
        return files->isDir(index) || files->fileInfo(index).isExecutable();
    }

private:
    QFileDialog* m_dialog;
};

} // namespace

TSettings::TSettings(SettingsHost& host, QWidget* mainWindow, QWidget* parent)
    : QDialog(parent), m_host(host), m_mainWindow(mainWindow)
{
    setWindowTitle(tr("Настройки"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    // The design's 8-point font, in the platform's sans family.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    PageControl = new QTabWidget(this);
    TS1 = new QWidget(PageControl);
    TS2 = new QWidget(PageControl);
    TS3 = new QWidget(PageControl);
    PageControl->addTab(TS1, tr("Основные"));
    PageControl->addTab(TS2, tr("Сканирование"));
    PageControl->addTab(TS3, tr("Избранное"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(PageControl);

    buildGeneralPage();
    buildScanPage();
    buildFavouritesPage();
    connectHandlers();

    m_chooseExecutable = [](QFileDialog& dialog) {
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            return dialog.selectedFiles().constFirst();
        return QString();
    };

    // Fixed size: at least the design client area, more when the platform's fonts need it.
    setFixedSize(sizeHint().expandedTo(QSize(328, 208)));

    ui::Transparency::registerWindow(m_mainWindow);
    ui::Transparency::registerWindow(this);
}

void TSettings::buildGeneralPage()
{
    CBGame = new QComboBox(TS1);
    CBGame->addItems({QStringLiteral("HL"), QStringLiteral("CS1.5"), QStringLiteral("CS1.6"),
                      QStringLiteral("CZERO"), QStringLiteral("CSS"), QStringLiteral("HL2DM")});
    CBGame->setCurrentIndex(0);
    EditExe = new QLineEdit(TS1);
    EditExe->setReadOnly(true);
    SBExe = new QToolButton(TS1);
    SBExe->setText(QStringLiteral("..."));
    SBExe->setToolTip(tr("Обзор"));
    QFont bold = SBExe->font();
    bold.setBold(true);
    SBExe->setFont(bold);
    EditParam = new QLineEdit(TS1);
    EditParam->installEventFilter(this);
    CBParams = new QComboBox(TS1);
    CBParams->setCurrentIndex(-1);
    BitBtn2 = button(QStringLiteral("+"), TS1);
    BitBtn2->setToolTip(tr("Добавить параметр"));
    BitBtn1 = button(tr("Сброс"), TS1);
    BitBtn1->setToolTip(tr("Восстановить значение по умолчанию"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    BBSave = new QPushButton(tr("Сохранить"), TS1);
    BBSave->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BBSave->setDefault(true);
    BBSave->setEnabled(false);
    CBDclick = new QCheckBox(tr("Соединяться по двойному щелчку"), TS1);
    CBDclick->setChecked(true);
    CBTrans = new QCheckBox(tr("Прозрачность"), TS1);
    TBTrans = new QSlider(Qt::Horizontal, TS1);
    TBTrans->setRange(50, 255);
    TBTrans->setTickInterval(3);
    TBTrans->setTickPosition(QSlider::TicksBelow);
    TBTrans->setValue(100);
    TBTrans->setEnabled(false);

    OD = new QFileDialog(this);
    // Qt's own dialog, whose name filters match without regard to case ("HL.EXE" finds hl.exe).
    OD->setOption(QFileDialog::DontUseNativeDialog);
    OD->setFileMode(QFileDialog::ExistingFile);
    OD->setAcceptMode(QFileDialog::AcceptOpen);
    OD->setSizeGripEnabled(true);
    auto* executables = new ExecutablesOnly(OD);
    OD->setProxyModel(executables);
    connect(OD, &QFileDialog::filterSelected, executables, &ExecutablesOnly::refilter);

    auto* grid = new QGridLayout(TS1);
    grid->addWidget(boldLabel(tr("Игра:"), TS1), 0, 0);
    grid->addWidget(CBGame, 0, 1, 1, 3);
    grid->addWidget(boldLabel(tr("Путь к игре:"), TS1), 1, 0);
    auto* exeRow = new QHBoxLayout;
    exeRow->addWidget(EditExe);
    exeRow->addWidget(SBExe);
    grid->addLayout(exeRow, 1, 1, 1, 3);
    grid->addWidget(boldLabel(tr("Параметры:"), TS1), 2, 0);
    grid->addWidget(EditParam, 2, 1, 1, 3);
    auto* paramRow = new QHBoxLayout;
    paramRow->addWidget(CBParams, 1);
    paramRow->addWidget(BitBtn2);
    paramRow->addWidget(BitBtn1);
    grid->addLayout(paramRow, 3, 1, 1, 3);
    grid->addWidget(CBDclick, 4, 0, 1, 3);
    grid->addWidget(BBSave, 4, 3);
    grid->addWidget(CBTrans, 5, 0);
    grid->addWidget(TBTrans, 5, 1, 1, 3);
    grid->setRowStretch(6, 1);
}

void TSettings::buildScanPage()
{
    CBBroadcast = boldCheckBox(tr("Вещание"), TS2);
    CBBroadcast->setChecked(true);
    CBOld = boldCheckBox(tr("Сканировать старые серверы"), TS2);
    CBOld->setToolTip(tr("Все CS1.5 и старые серверы CS1.6"));
    CBOld->setChecked(true);
    SpeedButton1 = new QToolButton(TS2);
    SpeedButton1->setArrowType(Qt::UpArrow);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setToolTip(tr("Выше"));
    SpeedButton2 = new QToolButton(TS2);
    SpeedButton2->setArrowType(Qt::DownArrow);
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setToolTip(tr("Ниже"));
    LWranges = reportList({QString(), tr("С IP:"), tr("До IP:")}, TS2);
    LWranges->setColumnWidth(0, 20);
    // 91 pixels at the design font; wider when the platform's font needs it for a full address.
    const int addressWidth =
        std::max(91, fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 12);
    LWranges->setColumnWidth(1, addressWidth);
    LWranges->setColumnWidth(2, addressWidth);
    LWranges->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    LWranges->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    LWranges->header()->setSectionsClickable(false);
    IPE1 = new IPv4Edit(TS2);
    IPE2 = new IPv4Edit(TS2);
    SpeedButton3 = new QToolButton(TS2);
    SpeedButton3->setText(QStringLiteral("0..255"));
    SpeedButton3->setAutoRaise(true);
    SBDel = button(tr("Удалить"), TS2);
    SBAdd = button(tr("Добавить"), TS2);
    CSport = new PortEdit(TS2);
    CSport->setText(QStringLiteral("27015"));
    HLTVport = new PortEdit(TS2);
    HLTVport->setText(QStringLiteral("27020"));
    SEDelay = new ArrowSpinBox(0, 30, 5, TS2);

    auto* ports = boldGroup(tr("Порты:"), TS2);
    auto* portsGrid = new QGridLayout(ports);
    portsGrid->addWidget(new QLabel(tr("Игры"), ports), 0, 0);
    portsGrid->addWidget(CSport, 0, 1);
    portsGrid->addWidget(new QLabel(QStringLiteral("HLTV"), ports), 1, 0);
    portsGrid->addWidget(HLTVport, 1, 1);
    auto* delay = boldGroup(tr("Задержка"), TS2);
    auto* delayRow = new QHBoxLayout(delay);
    delayRow->addWidget(SEDelay);
    delayRow->addWidget(new QLabel(tr("мс"), delay));

    auto* moveColumn = new QVBoxLayout;
    moveColumn->addWidget(SpeedButton1);
    moveColumn->addWidget(SpeedButton2);
    moveColumn->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addLayout(moveColumn);
    listRow->addWidget(LWranges, 1);
    auto* entry = new QGridLayout;
    entry->addWidget(new QLabel(tr("С:"), TS2), 0, 0);
    entry->addWidget(IPE1, 0, 1);
    entry->addWidget(SBDel, 0, 2);
    entry->addWidget(new QLabel(tr("До:"), TS2), 1, 0);
    entry->addWidget(IPE2, 1, 1);
    entry->addWidget(SBAdd, 1, 2);
    entry->addWidget(SpeedButton3, 2, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(listRow, 1);
    left->addLayout(entry);
    auto* right = new QVBoxLayout;
    right->addWidget(CBBroadcast);
    right->addWidget(CBOld);
    right->addWidget(ports);
    right->addWidget(delay);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);
    auto* page = new QVBoxLayout(TS2);
    page->addLayout(columns, 1);
    page->addWidget(buildMasterSource(TS2));
}

void TSettings::buildFavouritesPage()
{
    LVFav = reportList({tr("IP - Адрес"), tr("Порт")}, TS3);
    LVFav->setColumnWidth(0, 103);
    LVFav->setColumnWidth(1, portColumnLimits().first + 5);
    LVFav->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    LVFav->header()->setSectionsClickable(true);
    LVFav->header()->setSortIndicatorShown(false);
    CBAutoUpdate = boldCheckBox(tr("Автосканирование"), TS3);
    SEUpdInterval = new ArrowSpinBox(5, 60, 10, TS3);
    GHIP = new IPv4Edit(TS3);
    MEPort = new PortEdit(TS3);
    MEPort->setText(QStringLiteral("27015"));
    SpeedButton5 = button(tr("Удалить"), TS3);
    SpeedButton4 = button(tr("Добавить"), TS3);

    auto* side = new QGridLayout;
    side->addWidget(CBAutoUpdate, 0, 0, 1, 2);
    side->addWidget(new QLabel(tr("Интервал (сек):"), TS3), 1, 0);
    side->addWidget(SEUpdInterval, 1, 1);
    side->addWidget(new QLabel(tr("IP - Адрес"), TS3), 2, 0, 1, 2);
    side->addWidget(GHIP, 3, 0, 1, 2);
    side->addWidget(new QLabel(tr("Порт"), TS3), 4, 0);
    side->addWidget(MEPort, 4, 1);
    side->addWidget(SpeedButton5, 5, 0);
    side->addWidget(SpeedButton4, 5, 1);
    side->setRowStretch(6, 1);
    auto* page = new QHBoxLayout(TS3);
    page->addWidget(LVFav, 1);
    page->addLayout(side);
}

void TSettings::connectHandlers()
{
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        setNoActivePage(false);
        if (isVisible())
            pageShown(index);
    });
    // With no page active, the tab that is current in name is picked by a click like any other.
    connect(PageControl, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (!m_noActivePage || index != PageControl->currentIndex())
            return;
        setNoActivePage(false);
        if (isVisible())
            pageShown(index);
    });
    connect(CBGame, &QComboBox::activated, this, [this] { CBGameChange(); });
    connect(SBExe, &QToolButton::clicked, this, [this] { SBExeClick(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BBSave, &QPushButton::clicked, this, [this] { BBSaveClick(); });
    // toggled, not clicked: the handlers also run when loading changes the boxes.
    connect(CBTrans, &QCheckBox::toggled, this, [this] { CBTransClick(); });
    connect(TBTrans, &QSlider::valueChanged, this, [this] { TBTransChange(); });

    connect(SBAdd, &QPushButton::clicked, this, [this] { SBAddClick(); });
    connect(SBDel, &QPushButton::clicked, this, [this] { SBDelClick(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });

    connect(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(LVFav->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { LVFavColumnClick(column); });
    connect(CBAutoUpdate, &QCheckBox::toggled, this, [this] { CBAutoUpdateClick(); });
    connect(SEUpdInterval, &QSpinBox::valueChanged, this, [this] { SEUpdIntervalChange(); });

    // The address column keeps to 70..110 pixels, the port column to 40..50.
    connect(LVFav->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        const int low = column == 0 ? 70 : portColumnLimits().first;
        const int high = column == 0 ? 110 : portColumnLimits().second;
        if (width < low || width > high)
            LVFav->header()->resizeSection(column, std::clamp(width, low, high));
    });
}

std::pair<int, int> TSettings::portColumnLimits() const
{
    // 40..50 pixels at the design font; raised so that five digits always show.
    const int needed = fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 14;
    return {std::max(40, needed), std::max(50, needed + 10)};
}

void TSettings::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
    if (!m_noActivePage)
        pageShown(PageControl->currentIndex());
}

void TSettings::setNoActivePage(bool none)
{
    m_noActivePage = none;
    if (QWidget* page = PageControl->currentWidget())
        page->setVisible(!none);
}

void TSettings::pageShown(int index)
{
    if (index == 0)
        TS1Show();
    else if (index == 1)
        TS2Show();
}

bool TSettings::eventFilter(QObject* watched, QEvent* event)
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
    return QDialog::eventFilter(watched, event);
}

} // namespace vantry::options
