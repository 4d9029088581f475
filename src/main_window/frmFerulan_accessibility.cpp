// What screen readers say for the main window's controls: one table, and
// the labels tied to the boxes they caption.

#include "frmFerulan.h"

#include "OrderCombo.h"

#include "dialogs/ScreenReader.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>

void frmFerulan::describeControls()
{
    // Buttons with a caption are read by their caption and tooltip; the
    // table names what has no words of its own on screen.
    ScreenReader::describe(this, {
        {"txtFields_4", "Numéro", "Numéro de l'ouvrage, un nombre entier"},
        {"txtFields_5", "Auteur"},
        {"txtFields_6", "Éditeur"},
        {"txtFields_7", "Titre"},
        {"txtFields_8", "ISBN"},
        {"txtPrefixe", "Code du préfixe"},
        {"txtLangue", "Code de la langue"},
        {"txtDomaine", "Code du domaine"},
        {"Data1", "Navigation des enregistrements"},
        {"moveFirst", "Premier enregistrement"},
        {"movePrevious", "Précédent", "Enregistrement précédent (Page préc.)"},
        {"moveNext", "Suivant", "Enregistrement suivant (Page suiv.)"},
        {"moveLast", "Dernier enregistrement"},
        // Only the button that offers the other view is shown.
        {"cmdList_1", "Afficher la liste"},
        {"cmdList_2", "Afficher la fiche"},
        {"Command1", "À propos de Ferulan", "Ouvre la fenêtre d'information"},
        {"DBGrid1", "Liste des enregistrements"},
        {"cmdDelete", "Efface", "Effacer l'enregistrement affiché"},
        {"cmdSearch", "Cherche", "Faire une recherche (Ctrl+F)"},
        {"cmbOrder", "Tri par"},
        {"Picture1", "Barre d'outils"},
        {"Frame5", "Coordonnées du KORVA"},
    });
    // The selector's parts: its text field and its list.
    cmbOrder->lineEdit()->setAccessibleName(cmbOrder->accessibleName());
    cmbOrder->view()->setAccessibleName(QStringLiteral("Champs de tri"));
    for (auto &[index, label] : lblLabels)
        label->setBuddy(txtFields[index]);
    Label2[0]->setBuddy(cmbOrder);
}
