#include "FilterBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace vantry::browser {

namespace {

constexpr query::Game GameChoices[] = {
    query::Game::HalfLife,      query::Game::CounterStrike15,     query::Game::CounterStrike16,
    query::Game::ConditionZero, query::Game::CounterStrikeSource, query::Game::HalfLife2,
    query::Game::Unknown};

// A line whose Escape empties it; an empty line lets Escape on to the window.
class ClearingLineEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !text().isEmpty()) {
            clear();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

template <class T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FilterBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    EFilter = named(new ClearingLineEdit(this), "EFilter");
    EFilter->setPlaceholderText(tr("Поиск (Ctrl+F)"));
    EFilter->setToolTip(tr("Имя, карта, адрес или игра"));
    EFilter->setClearButtonEnabled(true);
    EFilter->setMinimumWidth(60);
    row->addWidget(EFilter, 1);

    CBNotFull = named(new QCheckBox(tr("Не полные"), this), "CBNotFull");
    CBNotEmpty = named(new QCheckBox(tr("Не пустые"), this), "CBNotEmpty");
    CBNoPassword = named(new QCheckBox(tr("Без пароля"), this), "CBNoPassword");
    CBCanJoin = named(new QCheckBox(tr("Могу подключиться"), this), "CBCanJoin");
    CBCanJoin->setToolTip(tr("Только серверы, для которых в настройках задан клиент: клиент игры, а для "
                             "серверов Xash3D FWGS (протокол 49) клиент Xash3D FWGS"));
    for (QCheckBox* box : {CBNotFull, CBNotEmpty, CBNoPassword, CBCanJoin}) {
        row->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &FilterBar::emitChanged);
    }

    CBFilterGame = named(new QComboBox(this), "CBFilterGame");
    CBFilterGame->addItem(tr("Все"), -1);
    for (query::Game game : GameChoices)
        CBFilterGame->addItem(QLatin1String(query::gameText(game)), static_cast<int>(game));
    CBFilterGame->setToolTip(tr("Игра"));
    row->addWidget(CBFilterGame);

    EFilterMap = named(new ClearingLineEdit(this), "EFilterMap");
    EFilterMap->setPlaceholderText(tr("Карта"));
    EFilterMap->setFixedWidth(70);
    row->addWidget(EFilterMap);

    SEMaxPing = named(new QSpinBox(this), "SEMaxPing");
    SEMaxPing->setRange(0, MaxFilterPingMs);
    SEMaxPing->setSingleStep(10);
    SEMaxPing->setSpecialValueText(tr("Пинг"));
    SEMaxPing->setToolTip(tr("Наибольший пинг, мс"));
    SEMaxPing->setAccelerated(true);
    row->addWidget(SEMaxPing);

    connect(EFilter, &QLineEdit::textChanged, this, &FilterBar::emitChanged);
    connect(EFilterMap, &QLineEdit::textChanged, this, &FilterBar::emitChanged);
    connect(CBFilterGame, &QComboBox::currentIndexChanged, this, &FilterBar::emitChanged);
    connect(SEMaxPing, &QSpinBox::valueChanged, this, &FilterBar::emitChanged);
}

FilterSettings FilterBar::settings() const
{
    FilterSettings s;
    s.text = EFilter->text();
    s.notFull = CBNotFull->isChecked();
    s.notEmpty = CBNotEmpty->isChecked();
    s.noPassword = CBNoPassword->isChecked();
    s.joinable = CBCanJoin->isChecked();
    const int game = CBFilterGame->currentData().toInt();
    if (game >= 0)
        s.game = static_cast<query::Game>(game);
    s.map = EFilterMap->text();
    s.maxPingMs = SEMaxPing->value();
    return s;
}

void FilterBar::setSettings(const FilterSettings& s)
{
    const FilterSettings before = settings();
    m_quiet = true;
    EFilter->setText(s.text);
    CBNotFull->setChecked(s.notFull);
    CBNotEmpty->setChecked(s.notEmpty);
    CBNoPassword->setChecked(s.noPassword);
    CBCanJoin->setChecked(s.joinable);
    CBFilterGame->setCurrentIndex(
        std::max(0, CBFilterGame->findData(s.game ? static_cast<int>(*s.game) : -1)));
    EFilterMap->setText(s.map);
    SEMaxPing->setValue(s.maxPingMs);
    m_quiet = false;
    if (settings() != before)
        emitChanged();
}

void FilterBar::focusText()
{
    EFilter->setFocus(Qt::ShortcutFocusReason);
    EFilter->selectAll();
}

void FilterBar::emitChanged()
{
    if (!m_quiet)
        emit changed(settings());
}

} // namespace vantry::browser
