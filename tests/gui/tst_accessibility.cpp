// What a screen reader finds in each window: every control it can focus has
// a name, a few names as the user hears them, labels tied to their boxes.

#include "WindowFixture.h"

#include <QAccessible>
#include <QtTest>

namespace {

// The accessible objects under iface, each as "path|name" (the path is the
// chain of object names, or roles, down from the window), and those among
// them that can take the focus without a name.
const QMap<QAccessible::Role, QString> roleWords{{QAccessible::Cell, "cell"},
                                                 {QAccessible::ColumnHeader, "column header"},
                                                 {QAccessible::RowHeader, "row header"},
                                                 {QAccessible::List, "list"}};

void walk(QAccessibleInterface *iface, const QString &path, QStringList &names, QStringList &nameless)
{
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child)
            continue;
        const QString objectName = child->object() ? child->object()->objectName() : QString();
        const QString where = path + '/' + (!objectName.isEmpty() ? objectName : roleWords.value(child->role(), "?"));
        const QString name = child->text(QAccessible::Name);
        names << where + '|' + name;
        if (child->state().focusable && name.trimmed().isEmpty())
            nameless << where;
        walk(child, where, names, nameless);
    }
}

QWidget *topLevel(const QString &objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName && widget->isVisible())
            return widget;
    }
    return nullptr;
}

} // namespace

class tst_Accessibility : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWindow_data();
    void everyWindow();
};

void tst_Accessibility::everyWindow_data()
{
    QTest::addColumn<bool>("list");
    QTest::addColumn<QString>("window");
    // "end of path|name" pairs the reader must find.
    QTest::addColumn<QStringList>("heard");

    QTest::newRow("form view") << false << "frmFerulan"
        << QStringList{"/txtFields_4|Numéro", "/txtFields_6|Éditeur", "/moveFirst|Premier enregistrement",
                       "/movePrevious|Précédent", "/moveNext|Suivant", "/moveLast|Dernier enregistrement",
                       "/cmdList_1|Afficher la liste", "/Command1|À propos de Ferulan", "/cmdAdd|Ajoute",
                       "/opDomaine_7|Pédagogie"};
    // Cells by their text, empty ones as "vide"; the record selector by
    // the record's number.
    QTest::newRow("list view") << true << "frmFerulan"
        << QStringList{"/cmdList_2|Afficher la fiche", "/DBGrid1|Liste des enregistrements",
                       "/DBGrid1/column header|AUTEUR", "/DBGrid1/row header|Enregistrement 1, courant",
                       "/DBGrid1/cell|Vollhardt", "/DBGrid1/cell|vide"};
    QTest::newRow("search") << false << "frmSearch"
                            << QStringList{"/txtSearch|Texte cherché", "/Combo1/list|Champs où chercher"};
    QTest::newRow("filter") << false << "frmFilter" << QStringList{"/chkLangue_2|français", "/cmdCancel|Annuler"};
    QTest::newRow("about") << false << "frmArtInf" << QStringList{"/cmdOk|OK"};
    QTest::newRow("keys") << false << "KeyHelpWindow" << QStringList{"/keyHelpText|Touches du clavier"};
}

void tst_Accessibility::everyWindow()
{
    QFETCH(bool, list);
    QFETCH(QString, window);
    QFETCH(QStringList, heard);

    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, list));
    frmFerulan *main = f.window.get();
    main->runHandler([&] {
        if (window == "frmSearch")
            main->cmdSearch_Click();
        else if (window == "frmFilter")
            main->cmdFilter_Click();
        else if (window == "frmArtInf")
            main->Command1_Click();
        else if (window == "KeyHelpWindow")
            main->showKeyHelp();
    });
    QWidget *shown = window == "frmFerulan" ? main : window == "KeyHelpWindow" ? main->findChild<QWidget *>(window)
                                                                              : topLevel(window);
    QVERIFY(shown && shown->isVisible());
    // A grid cell being edited is read as its column.
    if (list) {
        f.typeInCell("N");
        QCOMPARE(QAccessible::queryAccessibleInterface(f.grid()->cellEditor())->text(QAccessible::Name), "PREFIXE");
    }

    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(shown);
    QVERIFY(root);
    QStringList names;
    QStringList nameless;
    walk(root, QString(), names, nameless);
    QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(", ")));
    for (const QString &pair : heard) {
        const auto found = std::find_if(names.cbegin(), names.cend(),
                                        [&](const QString &heardAt) { return heardAt.endsWith(pair); });
        QVERIFY2(found != names.cend(), qPrintable(pair));
    }

    // Each label is tied to the box it captions.
    if (window == "frmFerulan") {
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(f.box(8));
        const auto labels = box->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.first().first->object(), f.child<QObject>("lblLabels_8"));
    }
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
