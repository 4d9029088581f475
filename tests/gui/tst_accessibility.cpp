// What a screen reader finds in each window: every control it can focus has
// a name, a few names as the user hears them, labels tied to their boxes.

#include "WindowFixture.h"

#include <QAccessible>
#include <QtTest>

namespace {

// Each accessible object under iface as "path|name" (the path: object names,
// or roles, down from the window); those that take the focus without a name
// go to nameless too. Hidden controls are walked as well.
void walk(QAccessibleInterface *iface, const QString &path, QStringList &heard, QStringList &nameless)
{
    static const QMap<QAccessible::Role, QString> roles{
        {QAccessible::Cell, "cell"}, {QAccessible::RowHeader, "row"}, {QAccessible::ColumnHeader, "column"}};
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child)
            continue;
        const QString objectName = child->object() ? child->object()->objectName() : QString();
        const QString where = path + '/' + (objectName.isEmpty() ? roles.value(child->role(), "?") : objectName);
        heard << where + '|' + child->text(QAccessible::Name);
        if (child->state().focusable && child->text(QAccessible::Name).trimmed().isEmpty())
            nameless << where;
        walk(child, where, heard, nameless);
    }
}

} // namespace

class tst_Accessibility : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWindow();
};

void tst_Accessibility::everyWindow()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, true));
    for (const char *button : {"cmdSearch", "cmdFilter", "Command1"})
        f.click(button);
    f.window->showKeyHelp();
    QStringList heard;
    QStringList nameless;
    // The list of keys, a child of the main window, is a window too.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            walk(QAccessible::queryAccessibleInterface(window), window->objectName(), heard, nameless);
    }
    QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(", ")));
    // Cells by their text, empty ones as "vide"; the record selector by the
    // record's number.
    for (const char *expected :
         {"frmFerulan/txtFields_4|Numéro", "/moveFirst|Premier enregistrement", "/movePrevious|Précédent",
          "/moveNext|Suivant", "/moveLast|Dernier enregistrement", "/cmdList_1|Afficher la liste",
          "/cmdList_2|Afficher la fiche", "/Command1|À propos de Ferulan", "/cmdAdd|Ajoute", "DBGrid1/column|AUTEUR",
          "DBGrid1/row|Enregistrement 1, courant", "DBGrid1/cell|Vollhardt", "DBGrid1/cell|vide",
          "frmSearch/txtSearch|Texte cherché", "frmFilter/Frame2/chkLangue_2|français", "frmArtInf/cmdOk|OK",
          "KeyHelpWindow/keyHelpText|Touches du clavier", "Picture1/lblCount|4 fiches"})
        QVERIFY2((heard.join('\n') + '\n').contains(QString::fromUtf8(expected) + '\n'), expected);

    // A label is tied to its box; a cell being edited is read as its column.
    const auto labels = QAccessible::queryAccessibleInterface(f.box(8))->relations(QAccessible::Label);
    QVERIFY(!labels.isEmpty());
    QCOMPARE(labels.first().first->object(), f.child<QObject>("lblLabels_8"));
    f.typeInCell("N");
    QCOMPARE(QAccessible::queryAccessibleInterface(f.grid()->cellEditor())->text(QAccessible::Name), "PREFIXE");
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
