#include "RecordingMessenger.h"
#include "TestSupport.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/DataControl.h"
#include "catalogue/Module1.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"
#include "settings/IniWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TestSupport::Row;

namespace {

const QVariant Null;

// Eight believable records; every test starts from a fresh copy.
QList<Row> catalogueRows()
{
    const auto row = [](const char *p, const char *l, const char *d, int n, const char *author,
                        const char *publisher, const char *title) {
        return Row{QString::fromUtf8(p), QString::fromUtf8(l), QString::fromUtf8(d), n,
                   QString::fromUtf8(author), QString::fromUtf8(publisher), QString::fromUtf8(title), Null};
    };
    return {
        row("B", "F", "C", 1, "Vollhardt", "De Boeck", "Traité de chimie organique"),
        row("L", "E", "A", 2, "Atkins", "Oxford", "Physical chemistry"),
        row("V", "D", "E", 3, "Müller", "Klett", "Titrationen im Labor"),
        row("Z", "F", "G", 4, "Astolfi", "L'Actualité chimique", "L'eau et ses ions"),
        row("B", "D", "F", 5, "Lambert", "Springer", "Le nombre d'Avogadro"),
        row("T", "F", "B", 6, "Ecole normale", "", "Chimie minérale"),
        row("B", "E", "F", 7, "Smith", "Wiley", "Water, the inside story"),
        row("B", "F", "D", 8, "Rousseau", "Nathan", "Exercices sur l'eau"),
    };
}

} // namespace

class tst_Dialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void filterClauses_data();
    void filterClauses();
    void filterWindow();
    void searchFirstOpening();
    void searchClauses_data();
    void searchClauses();
    void blankSearchChangesNothing();
    void enterDoesNotSearchEscCancels();
    void searchAndFilterTogether();
    void rejectedQueryShowsEngineText();
    void closeBoxKeepsClauseAndStoresGeometry();
    void hiddenDialogKeepsItsEntries();

private:
    frmSearch *openSearch();
    frmFilter *openFilter();
    void tick(frmFilter *filter, const QStringList &boxes);
    void search(frmSearch *dialog, const QString &field, const QString &text);
    int shownRecords() { return m_data->Recordset().recordCount(); }
    QStringList shownTitles();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DataControl> m_data;
    std::unique_ptr<Module1> m_module;
    std::unique_ptr<IniWizard> m_ini;
    RecordingMessenger m_messenger;
    QPointer<frmSearch> m_search;
    QPointer<frmFilter> m_filter;
};

void tst_Dialogs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString db = QDir(m_dir->path()).filePath(QStringLiteral("biblio.db"));
    QCOMPARE(TestSupport::makeCatalogue(db, catalogueRows()), QString());
    m_data = std::make_unique<DataControl>();
    m_data->setDatabaseName(db);
    m_module = std::make_unique<Module1>(*m_data);
    m_module->TableName = QStringLiteral("Biblio");
    m_module->OrderClause = QStringLiteral("ORDER BY NUMERO");
    QVERIFY2(m_module->ComposeQuery(), qPrintable(m_module->lastError()));
    m_ini = std::make_unique<IniWizard>(m_dir->path(), QStringLiteral("ferulan"));
    m_messenger.clear();
}

void tst_Dialogs::cleanup()
{
    delete m_search;
    delete m_filter;
    m_module.reset();
    m_data.reset();
    m_ini.reset();
    m_dir.reset();
}

frmSearch *tst_Dialogs::openSearch()
{
    m_search = new frmSearch(*m_module, *m_ini, m_messenger, Catalogue::sortFields());
    m_search->show();
    return m_search;
}

frmFilter *tst_Dialogs::openFilter()
{
    m_filter = new frmFilter(*m_module, *m_ini, m_messenger);
    m_filter->show();
    return m_filter;
}

void tst_Dialogs::tick(frmFilter *filter, const QStringList &boxes)
{
    for (const QString &name : boxes) {
        auto *box = filter->findChild<QCheckBox *>(name);
        QVERIFY2(box, qPrintable(name));
        // On the box itself: a click past the caption's end does not tick it.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QVERIFY2(box->isChecked(), qPrintable(name));
    }
}

void tst_Dialogs::search(frmSearch *dialog, const QString &field, const QString &text)
{
    auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("Combo1"));
    auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    if (!field.isEmpty()) {
        QVERIFY(combo->findText(field) >= 0);
        combo->setCurrentIndex(combo->findText(field));
    }
    box->clear();
    // Typed as keys where the test keyboard has them; tabs and accents pasted.
    bool plain = true;
    for (QChar c : text)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (plain)
        QTest::keyClicks(box, text);
    else
        box->insert(text);
    QCOMPARE(box->text(), text);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmd_1")), Qt::LeftButton);
}

QStringList tst_Dialogs::shownTitles()
{
    QStringList titles;
    for (int i = 0; i < m_data->Recordset().recordCount(); ++i)
        titles << m_data->Recordset().valueAt(i, Catalogue::TITRE).toString();
    return titles;
}

void tst_Dialogs::filterClauses_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("clause");
    QTest::addColumn<int>("records");

    QTest::newRow("none") << QStringList() << QString() << 8;
    QTest::newRow("deutsch") << QStringList{"chkLangue_1"} << "WHERE (LANGUE = 'D' )" << 2;
    QTest::newRow("français") << QStringList{"chkLangue_2"} << "WHERE ( LANGUE = 'F' )" << 4;
    QTest::newRow("français, english") << QStringList{"chkLangue_2", "chkLangue_3"}
                                        << "WHERE ( LANGUE = 'F' OR LANGUE = 'E' )" << 6;
    QTest::newRow("deutsch, english, livre")
        << QStringList{"chkLangue_1", "chkLangue_3", "chkPrefixe_1"}
        << "WHERE (LANGUE = 'D' OR LANGUE = 'E' ) AND ( PREFIXE = 'B' )" << 2;
    QTest::newRow("livre, vidéo, Divers") << QStringList{"chkPrefixe_1", "chkPrefixe_3", "chkDomaine_6"}
                                           << "WHERE ( PREFIXE = 'B' OR PREFIXE = 'V' ) AND ( DOMAINE = 'F' )"
                                           << 2;
    QTest::newRow("Pédagogie only") << QStringList{"chkDomaine_7"} << "WHERE ( DOMAINE = 'G' )" << 1;
    QTest::newRow("ticked in reverse order") << QStringList{"chkDomaine_7", "chkDomaine_2"}
                                              << "WHERE ( DOMAINE = 'B' OR DOMAINE = 'G' )" << 2;
    QTest::newRow("every language, one domain")
        << QStringList{"chkLangue_3", "chkLangue_2", "chkLangue_1", "chkDomaine_4"}
        << "WHERE (LANGUE = 'D' OR LANGUE = 'F' OR LANGUE = 'E' ) AND ( DOMAINE = 'D' )" << 1;
    QTest::newRow("all three groups")
        << QStringList{"chkLangue_2", "chkPrefixe_4", "chkPrefixe_5", "chkDomaine_1", "chkDomaine_7"}
        << "WHERE ( LANGUE = 'F' ) AND ( PREFIXE = 'Z' OR PREFIXE = 'T' ) AND ( DOMAINE = 'A' OR DOMAINE = 'G' )"
        << 1;
}

void tst_Dialogs::filterClauses()
{
    QFETCH(QStringList, boxes);
    QFETCH(QString, clause);
    QFETCH(int, records);

    frmFilter *filter = openFilter();
    QSignalSpy applied(filter, &frmFilter::filterApplied);
    tick(filter, boxes);
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);

    QCOMPARE(m_module->FilterClause, clause);
    QCOMPARE(filter->condition(), clause.mid(6));
    QCOMPARE(m_data->RecordSource(), m_module->queryText());
    QCOMPARE(shownRecords(), records);
    QCOMPARE(applied.count(), 1);
    QVERIFY(filter->isVisible());
    QVERIFY(m_messenger.messages.isEmpty());

    // Every application starts afresh from the boxes.
    for (QCheckBox *box : filter->findChildren<QCheckBox *>())
        box->setChecked(false);
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);
    QCOMPARE(m_module->FilterClause, QString());
    QCOMPARE(shownRecords(), 8);
}

void tst_Dialogs::filterWindow()
{
    frmFilter *filter = openFilter();
    QCOMPARE(filter->windowTitle(), QStringLiteral("Filtre"));
    QVERIFY(!filter->parentWidget());
    QVERIFY(filter->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(filter->testAttribute(Qt::WA_ShowWithoutActivating));

    // The boxes carry the selectors' captions; the domains read 1 to 5, 7, 6.
    const QStringList expected = {"Chimie générale et chimie-physique", "Chimie minérale", "Chimie organique",
                                  "Exercices de chimie", "Travaux pratiques", "Pédagogie", "Divers"};
    QList<QCheckBox *> domains;
    for (int i = 1; i <= 7; ++i)
        domains << filter->findChild<QCheckBox *>(QStringLiteral("chkDomaine_%1").arg(i));
    std::sort(domains.begin(), domains.end(), [](QCheckBox *a, QCheckBox *b) { return a->y() < b->y(); });
    QStringList captions;
    for (QCheckBox *box : domains)
        captions << box->text();
    QCOMPARE(captions, expected);
    QCOMPARE(filter->findChild<QCheckBox *>(QStringLiteral("chkPrefixe_3"))->text(), QStringLiteral("vidéo"));
    QCOMPARE(filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_2"))->text(), QStringLiteral("français"));
    QVERIFY(!filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_0")));

    // Neither button is a default button.
    for (QPushButton *button : filter->findChildren<QPushButton *>())
        QVERIFY(!button->isDefault());
}

void tst_Dialogs::searchFirstOpening()
{
    frmSearch *dialog = openSearch();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Cherche"));
    QVERIFY(!dialog->parentWidget());
    QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(dialog->testAttribute(Qt::WA_ShowWithoutActivating));

    auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("Combo1"));
    QStringList fields;
    for (int i = 0; i < combo->count(); ++i)
        fields << combo->itemText(i);
    QCOMPARE(fields, Catalogue::sortFields());
    QCOMPARE(combo->currentText(), QStringLiteral("TITRE"));
    // No typed field name can reach the query.
    QVERIFY(!combo->isEditable());

    auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    QVERIFY(box->text().isEmpty());
    QCOMPARE(dialog->focusWidget(), box);
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        QVERIFY(!button->isDefault());
}

void tst_Dialogs::searchClauses_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("trimmed") << "AUTEUR" << "  ll  " << "AUTEUR LIKE '*ll*'"
                             << QStringList{"Traité de chimie organique", "Titrationen im Labor"};
    QTest::newRow("title by default") << "" << " chimie " << "TITRE LIKE '*chimie*'"
                                      << QStringList{"Traité de chimie organique", "Chimie minérale"};
    QTest::newRow("inner blanks stay") << "" << "  de chimie " << "TITRE LIKE '*de chimie*'"
                                       << QStringList{"Traité de chimie organique"};
    QTest::newRow("tab stays") << "" << "\tchimie" << "TITRE LIKE '*\tchimie*'" << QStringList();
    QTest::newRow("l'eau") << "" << "l'eau" << "TITRE LIKE '*l''eau*'"
                           << QStringList{"L'eau et ses ions", "Exercices sur l'eau"};
    QTest::newRow("d'Avogadro") << "" << "d'Avogadro" << "TITRE LIKE '*d''Avogadro*'"
                                << QStringList{"Le nombre d'Avogadro"};
    QTest::newRow("publisher") << "EDITEUR" << "l'actualité" << "EDITEUR LIKE '*l''actualité*'"
                               << QStringList{"L'eau et ses ions"};
    QTest::newRow("no breaking out") << "" << "x' OR 'a'='a" << "TITRE LIKE '*x'' OR ''a''=''a*'"
                                     << QStringList();
    QTest::newRow("number") << "NUMERO" << "7" << "NUMERO LIKE '*7*'"
                            << QStringList{"Water, the inside story"};
}

void tst_Dialogs::searchClauses()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, clause);
    QFETCH(QStringList, titles);

    frmSearch *dialog = openSearch();
    QSignalSpy applied(dialog, &frmSearch::searchApplied);
    search(dialog, field, typed);

    QVERIFY2(m_messenger.messages.isEmpty(), qPrintable(m_messenger.lastText()));
    QCOMPARE(m_module->SearchClause, clause);
    QCOMPARE(dialog->condition(), clause);
    QCOMPARE(m_data->RecordSource(), QStringLiteral("SELECT * FROM Biblio WHERE ") + clause
                                         + QStringLiteral(" ORDER BY NUMERO"));
    QCOMPARE(shownTitles(), titles);
    QCOMPARE(applied.count(), 1);
    QVERIFY(dialog->isVisible());
    // The hourglass is gone once the result is shown.
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_Dialogs::blankSearchChangesNothing()
{
    frmSearch *dialog = openSearch();
    QSignalSpy applied(dialog, &frmSearch::searchApplied);
    QSignalSpy queried(m_module.get(), &Module1::columnsReset);

    search(dialog, QString(), QString());
    search(dialog, QString(), QStringLiteral("    "));
    QCOMPARE(m_module->SearchClause, QString());
    QCOMPARE(queried.count(), 0);
    QCOMPARE(shownRecords(), 8);

    // An earlier search stays in force.
    search(dialog, QString(), QStringLiteral("eau"));
    QCOMPARE(m_module->SearchClause, QStringLiteral("TITRE LIKE '*eau*'"));
    const QString source = m_data->RecordSource();
    search(dialog, QStringLiteral("AUTEUR"), QStringLiteral("   "));
    QCOMPARE(m_module->SearchClause, QStringLiteral("TITRE LIKE '*eau*'"));
    QCOMPARE(m_data->RecordSource(), source);
    QCOMPARE(queried.count(), 1);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(shownRecords(), 2);
}

void tst_Dialogs::enterDoesNotSearchEscCancels()
{
    frmSearch *dialog = openSearch();
    // Keys reach the dialog once the user has clicked into it.
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    QTest::keyClicks(box, QStringLiteral("eau"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter);
    QCOMPARE(m_module->SearchClause, QString());

    // Enter on the focused button presses it.
    QTest::keyClick(dialog->findChild<QPushButton *>(QStringLiteral("cmd_1")), Qt::Key_Return);
    QCOMPARE(shownRecords(), 2);
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(m_module->SearchClause, QString());
    QCOMPARE(shownRecords(), 8);
    QVERIFY(dialog->isHidden());
    QVERIFY(m_search); // hidden, still loaded

    frmFilter *filter = openFilter();
    filter->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(filter));
    tick(filter, {QStringLiteral("chkLangue_1")});
    QTest::keyClick(filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_1")), Qt::Key_Return);
    QCOMPARE(m_module->FilterClause, QString());
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);
    QCOMPARE(shownRecords(), 2);
    QTest::keyClick(filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_1")), Qt::Key_Escape);
    QCOMPARE(m_module->FilterClause, QString());
    QCOMPARE(shownRecords(), 8);
    QVERIFY(filter->isHidden());
}

void tst_Dialogs::searchAndFilterTogether()
{
    frmFilter *filter = openFilter();
    frmSearch *dialog = openSearch();
    tick(filter, {QStringLiteral("chkLangue_2")});
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);
    search(dialog, QString(), QStringLiteral("ion"));
    QCOMPARE(m_data->RecordSource(),
             QStringLiteral("SELECT * FROM Biblio WHERE ( LANGUE = 'F' ) AND TITRE LIKE '*ion*' ORDER BY NUMERO"));
    QCOMPARE(shownTitles(), QStringList{"L'eau et ses ions"});

    // Annuler in the search dialog ends the search alone.
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QCOMPARE(m_module->FilterClause, QStringLiteral("WHERE ( LANGUE = 'F' )"));
    QCOMPARE(m_module->SearchClause, QString());
    QCOMPARE(shownRecords(), 4);
    QVERIFY(dialog->isHidden());
    QVERIFY(filter->isVisible());

    // And the filter's Annuler the filter alone.
    dialog->show();
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmd_1")), Qt::LeftButton);
    QCOMPARE(shownRecords(), 1);
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QCOMPARE(m_module->FilterClause, QString());
    QCOMPARE(m_data->RecordSource(), QStringLiteral("SELECT * FROM Biblio WHERE TITRE LIKE '*ion*' ORDER BY NUMERO"));
    QCOMPARE(shownTitles(), (QStringList{"Titrationen im Labor", "L'eau et ses ions"}));
    QVERIFY(filter->isHidden());
    QVERIFY(dialog->isVisible());
    QVERIFY(m_messenger.messages.isEmpty());
}

void tst_Dialogs::rejectedQueryShowsEngineText()
{
    frmSearch *dialog = openSearch();
    frmFilter *filter = openFilter();
    QSignalSpy searched(dialog, &frmSearch::searchApplied);
    QSignalSpy filtered(filter, &frmFilter::filterApplied);
    // A stored order naming a field the table lacks makes every query fail.
    m_module->OrderClause = QStringLiteral("ORDER BY NOSUCH");

    search(dialog, QString(), QStringLiteral("eau"));
    QCOMPARE(m_messenger.messages.size(), 1);
    QVERIFY(!m_messenger.lastText().isEmpty());
    QCOMPARE(m_messenger.messages.last().text, m_module->lastError());
    QCOMPARE(searched.count(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());

    tick(filter, {QStringLiteral("chkLangue_1")});
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);
    QCOMPARE(m_messenger.messages.size(), 2);
    QCOMPARE(filtered.count(), 0);

    // A failed Annuler leaves its dialog open.
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QCOMPARE(m_messenger.messages.size(), 4);
    QVERIFY(dialog->isVisible());
    QVERIFY(filter->isVisible());

    // Once the order is mended, the next search works.
    m_module->OrderClause.clear();
    search(dialog, QString(), QStringLiteral("eau"));
    QCOMPARE(m_messenger.messages.size(), 4);
    QCOMPARE(searched.count(), 1);
    QCOMPARE(m_messenger.endCount, 0);
}

void tst_Dialogs::closeBoxKeepsClauseAndStoresGeometry()
{
    frmSearch *dialog = openSearch();
    frmFilter *filter = openFilter();
    search(dialog, QString(), QStringLiteral("eau"));
    tick(filter, {QStringLiteral("chkLangue_2")});
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);

    dialog->move(150, 90);
    filter->setGeometry(300, 120, 260, 400);
    const QRect searchFrame = dialog->frameGeometry();
    const QRect filterFrame = filter->frameGeometry();
    QVERIFY(dialog->close());
    QVERIFY(filter->close());
    QTRY_VERIFY(!m_search && !m_filter); // unloaded

    // Both clauses stay in force.
    QCOMPARE(m_module->SearchClause, QStringLiteral("TITRE LIKE '*eau*'"));
    QCOMPARE(m_module->FilterClause, QStringLiteral("WHERE ( LANGUE = 'F' )"));

    const auto stored = [this](const QString &section, const char *key) {
        m_ini->INISetSection(section);
        const QString value = m_ini->INIGetValue(QLatin1String(key));
        m_ini->INISetSection(QStringLiteral("General"));
        return value.toInt();
    };
    QCOMPARE(stored(QStringLiteral("frmSearch Size"), "Left"), searchFrame.x() * 15);
    QCOMPARE(stored(QStringLiteral("frmSearch Size"), "Top"), searchFrame.y() * 15);
    QCOMPARE(stored(QStringLiteral("frmFilter Size"), "Width"), filterFrame.width() * 15);
    QCOMPARE(stored(QStringLiteral("frmFilter Size"), "Height"), filterFrame.height() * 15);

    // Reloaded, each comes back where it was, with fresh entries.
    dialog = openSearch();
    filter = openFilter();
    QCOMPARE(dialog->frameGeometry().topLeft(), searchFrame.topLeft());
    QCOMPARE(filter->frameGeometry().topLeft(), filterFrame.topLeft());
    QVERIFY(dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"))->text().isEmpty());
    QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("Combo1"))->currentText(), QStringLiteral("TITRE"));
    QVERIFY(!filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_2"))->isChecked());
}

void tst_Dialogs::hiddenDialogKeepsItsEntries()
{
    frmSearch *dialog = openSearch();
    frmFilter *filter = openFilter();
    search(dialog, QStringLiteral("AUTEUR"), QStringLiteral("Smith"));
    tick(filter, {QStringLiteral("chkDomaine_6")});
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);

    // Hiding does not unload: nothing stored yet.
    QVERIFY(!QFile::exists(m_ini->SettingsFilePath()) || !TestSupport::readFile(m_ini->SettingsFilePath()).contains("Size"));
    dialog->show();
    filter->show();
    QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("Combo1"))->currentText(), QStringLiteral("AUTEUR"));
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("txtSearch"))->text(), QStringLiteral("Smith"));
    QVERIFY(filter->findChild<QCheckBox *>(QStringLiteral("chkDomaine_6"))->isChecked());
    QCOMPARE(m_module->SearchClause, QString());
    QCOMPARE(m_module->FilterClause, QString());

    // Unloading a hidden dialog (as the main window does at its closing)
    // still stores its place.
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(dialog->isHidden());
    QVERIFY(dialog->close());
    QTRY_VERIFY(!m_search);
    m_ini->INISetSection(QStringLiteral("frmSearch Size"));
    QVERIFY(!m_ini->INIGetValue(QStringLiteral("Width")).isEmpty());
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
