#include "NavigationBar.h"

#include "catalogue/DataControl.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

NavigationBar::NavigationBar(DataControl &data, QWidget *parent)
    : QFrame(parent)
    , m_data(data)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    // The arrows are reached with Tab; a click leaves the focus where it was.
    QToolButton *first = addButton(QStringLiteral("moveFirst"), QStringLiteral("|◀"), QStringLiteral("Premier"));
    QToolButton *previous = addButton(QStringLiteral("movePrevious"), QStringLiteral("◀"), QStringLiteral("Précédent"));
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    m_caption->setIndent(4);
    m_caption->setText(data.Caption());
    layout->addWidget(m_caption, 1);
    QToolButton *next = addButton(QStringLiteral("moveNext"), QStringLiteral("▶"), QStringLiteral("Suivant"));
    QToolButton *last = addButton(QStringLiteral("moveLast"), QStringLiteral("▶|"), QStringLiteral("Dernier"));

    connect(first, &QToolButton::clicked, &m_data, &DataControl::moveFirst);
    connect(previous, &QToolButton::clicked, &m_data, &DataControl::movePrevious);
    connect(next, &QToolButton::clicked, &m_data, &DataControl::moveNext);
    connect(last, &QToolButton::clicked, &m_data, &DataControl::moveLast);
    connect(&m_data, &DataControl::captionChanged, m_caption, &QLabel::setText);
}

QString NavigationBar::caption() const
{
    return m_caption->text();
}

QToolButton *NavigationBar::addButton(const QString &name, const QString &text, const QString &tip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::TabFocus);
    button->setAutoRaise(false);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    layout()->addWidget(button);
    return button;
}
