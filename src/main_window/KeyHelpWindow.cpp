#include "KeyHelpWindow.h"

#include "dialogs/ScreenReader.h"

#include <QPushButton>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

struct KeyRow {
    // A heading when action is nullptr.
    const char *keys;
    const char *action;
};

const KeyRow Rows[] = {
    {"Fenêtre principale", nullptr},
    {"Ctrl+A", "ajouter un enregistrement (avec le droit de modifier)"},
    {"Ctrl+S", "afficher ou masquer le bouton « Efface » (avec le droit de modifier)"},
    {"Alt+A, Alt+E", "boutons « Ajoute » et « Efface » (quand il est affiché)"},
    {"Ctrl+F", "ouvrir la recherche, comme « Cherche »"},
    {"F1", "cette liste des touches"},
    {"F5", "relire le catalogue : les fiches ajoutées ou supprimées par d'autres apparaissent"},
    {"Tab, Maj+Tab", "contrôle suivant, précédent"},
    {"Espace", "appuyer sur le bouton qui a le focus"},
    {"Fiche", nullptr},
    {"Page préc., Page suiv.", "enregistrement précédent, suivant"},
    {"Ctrl+Début, Ctrl+Fin", "premier, dernier enregistrement"},
    {"Flèches", "dans un groupe d'options : choisir l'option voisine"},
    {"Liste", nullptr},
    {"Flèches", "cellule voisine"},
    {"Page préc., Page suiv.", "page précédente, suivante"},
    {"Ctrl+Début, Ctrl+Fin", "première, dernière cellule"},
    {"Entrée", "colonne suivante ; sur ISBN, ajouter un enregistrement (avec le droit de modifier)"},
    {"F2 ou une lettre", "modifier la cellule ; Échap annule la saisie"},
    {"Tri par ...", nullptr},
    {"Flèche haut, bas", "trier par le champ précédent, suivant de la liste"},
    {"Alt+Flèche bas", "ouvrir la liste des champs"},
    {"Cherche, Filtre et À propos", nullptr},
    {"Entrée, Espace", "appuyer sur le bouton qui a le focus ; Espace coche une case"},
    {"Échap", "« Annuler » (Cherche, Filtre) ; fermer cette liste"},
    {"Alt+O", "« OK » (À propos)"},
};

} // namespace

KeyHelpWindow::KeyHelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("KeyHelpWindow"));
    setWindowTitle(QStringLiteral("Touches du clavier"));
    resize(560, 520);

    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">");
    for (const KeyRow &row : Rows) {
        html += row.action ? QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                                 .arg(QString::fromUtf8(row.keys).toHtmlEscaped(),
                                      QString::fromUtf8(row.action).toHtmlEscaped())
                           : QStringLiteral("<tr><td colspan=\"2\">%1<u>%2</u></td></tr>")
                                 .arg(&row == Rows ? QString() : QStringLiteral("<br>"),
                                      QString::fromUtf8(row.keys).toHtmlEscaped());
    }
    html += QStringLiteral("</table>");

    m_text = new QTextBrowser(this);
    m_text->setObjectName(QStringLiteral("keyHelpText"));
    m_text->setHtml(html);
    // Tab leaves the list for the button rather than walking its text.
    m_text->setTabChangesFocus(true);

    m_close = new QPushButton(QStringLiteral("Fermer"), this);
    m_close->setObjectName(QStringLiteral("cmdCloseHelp"));
    m_close->setAutoDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_close, 0, Qt::AlignRight);

    ScreenReader::describe(this, {
        {"keyHelpText", "Touches du clavier", "Chaque touche du programme et ce qu'elle fait"},
    });
    m_text->setFocus(Qt::OtherFocusReason);
}

void KeyHelpWindow::keyPressEvent(QKeyEvent *event)
{
    // Esc reaches here from the list, which has no use for it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}
