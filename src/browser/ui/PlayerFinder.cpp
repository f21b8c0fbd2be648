#include "PlayerFinder.h"

#include "ListView.h"
#include "browser/PlayerSearch.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vantry::browser {

PlayerFinder::PlayerFinder(PlayerSearch& search, QWidget* parent)
    : QWidget(parent), m_search(search), m_field(new QLineEdit(this)), m_progress(new QLabel(this)),
      m_results(new ListView(this))
{
    setObjectName(QStringLiteral("PlayerFinder"));
    m_field->setObjectName(QStringLiteral("EFindPlayer"));
    m_field->setPlaceholderText(tr("Найти игрока"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_progress->setObjectName(QStringLiteral("LFindPlayer"));
    m_results->setObjectName(QStringLiteral("LWFoundPlayers"));
    m_results->setModel(&m_search.results());
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->horizontalHeader()->setSectionResizeMode(PlayerResults::Player, QHeaderView::Stretch);
    m_results->setMaximumHeight(m_results->verticalHeader()->defaultSectionSize() * 7);
    m_results->hide();

    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(m_field, 1);
    line->addWidget(m_progress);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addLayout(line);
    column->addWidget(m_results);

    m_typing.setSingleShot(true);
    m_typing.setInterval(TypingPauseMs);
    connect(&m_typing, &QTimer::timeout, this, &PlayerFinder::start);
    connect(m_field, &QLineEdit::textEdited, this, [this] { m_typing.start(); });
    // The clear button and code set the text without an edit.
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            start();
    });
    connect(m_field, &QLineEdit::returnPressed, this, &PlayerFinder::start);
    connect(&m_search, &PlayerSearch::progressChanged, this, &PlayerFinder::showProgress);
    connect(m_results, &ListView::doubleClickedAnywhere, this, [this] {
        const int row = m_results->selectedRow();
        if (row >= 0 && row < m_search.results().count())
            emit joinWanted(m_search.results().hit(row).server);
    });
}

bool PlayerFinder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !m_field->text().isEmpty()) {
        m_field->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PlayerFinder::start()
{
    m_typing.stop();
    m_search.setText(m_field->text());
    m_results->setVisible(m_search.searching());
    showProgress();
}

void PlayerFinder::showProgress()
{
    // Servers asked, and of them those that answered.
    m_progress->setText(m_search.searching()
                            ? QStringLiteral("%1 / %2").arg(m_search.answered()).arg(m_search.asked())
                            : QString());
}

} // namespace vantry::browser
