#include "RecordingMessenger.h"
#include "TestSupport.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/DataControl.h"
#include "catalogue/Module1.h"
#include "dialogs/DialogLook.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"
#include "settings/IniWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>

using TestSupport::Row;

namespace {

// Eight believable records; every test starts from a fresh copy.
const QList<Row> Records{
    {"B", "F", "C", 1, "Vollhardt", "De Boeck", "Traité de chimie organique", QVariant()},
    {"L", "E", "A", 2, "Atkins", "Oxford", "Physical chemistry", QVariant()},
    {"V", "D", "E", 3, "Müller", "Klett", "Titrationen im Labor", QVariant()},
    {"Z", "F", "G", 4, "Astolfi", "L'Actualité chimique", "L'eau et ses ions", QVariant()},
    {"B", "D", "F", 5, "Lambert", "Springer", "Le nombre d'Avogadro", QVariant()},
    {"T", "F", "B", 6, "Ecole normale", "", "Chimie minérale", QVariant()},
    {"B", "E", "F", 7, "Smith", "Wiley", "Water, the inside story", QVariant()},
    {"B", "F", "D", 8, "Rousseau", "Nathan", "Exercices sur l'eau", QVariant()},
};

void click(QWidget *dialog, const char *button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

void tick(frmFilter *filter, const QStringList &boxes)
{
    for (const QString &name : boxes) {
        auto *box = filter->findChild<QCheckBox *>(name);
        QVERIFY2(box, qPrintable(name));
        // On the box itself: a click past the caption's end does not tick it.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QVERIFY2(box->isChecked(), qPrintable(name));
    }
}

} // namespace

// A fresh catalogue, the query state over it and the settings, in a
// temporary program folder.
struct Fixture {
    QTemporaryDir dir;
    DataControl data;
    Module1 module{data};
    IniWizard ini{dir.path(), QStringLiteral("ferulan")};
};

class tst_Dialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstOpening();
    void filterClauses_data();
    void filterClauses();
    void searchClauses_data();
    void searchClauses();
    void ignoringAccentsIsRemembered();
    void enterDoesNotApplyEscCancels();
    void searchAndFilterTogether();
    void rejectedQueryShowsEngineText();
    void closeBoxKeepsClausesAndStoresGeometry();

private:
    void openDialogs();
    void search(const QString &field, const QString &text);
    void filter(const QStringList &boxes);
    int shownRecords() { return f->data.Recordset().recordCount(); }
    QStringList shownTitles();

    std::unique_ptr<Fixture> f;
    RecordingMessenger m_messenger;
    QPointer<frmSearch> m_search;
    QPointer<frmFilter> m_filter;
};

void tst_Dialogs::init()
{
    f = std::make_unique<Fixture>();
    QVERIFY(f->dir.isValid());
    const QString db = f->dir.filePath(QStringLiteral("biblio.db"));
    QCOMPARE(TestSupport::makeCatalogue(db, Records), QString());
    f->data.setDatabaseName(db);
    f->module.TableName = QStringLiteral("Biblio");
    f->module.OrderClause = QStringLiteral("ORDER BY NUMERO");
    QVERIFY2(f->module.ComposeQuery(), qPrintable(f->module.lastError()));
    m_messenger.clear();
    openDialogs();
}

void tst_Dialogs::cleanup()
{
    delete m_search;
    delete m_filter;
    f.reset();
}

void tst_Dialogs::openDialogs()
{
    m_search = new frmSearch(f->module, f->ini, m_messenger, Catalogue::sortFields());
    m_filter = new frmFilter(f->module, f->ini, m_messenger);
    m_search->show();
    m_filter->show();
}

// Picks the field (none: as it stands), types the text and presses "Cherche".
void tst_Dialogs::search(const QString &field, const QString &text)
{
    auto *combo = m_search->findChild<QComboBox *>(QStringLiteral("Combo1"));
    auto *box = m_search->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    if (!field.isEmpty()) {
        combo->setCurrentIndex(combo->findText(field));
        QCOMPARE(combo->currentText(), field);
    }
    box->clear();
    // Typed as keys where the test keyboard has them; tabs and accents pasted.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; }))
        QTest::keyClicks(box, text);
    else
        box->insert(text);
    QCOMPARE(box->text(), text);
    click(m_search, "cmd_1");
}

void tst_Dialogs::filter(const QStringList &boxes)
{
    tick(m_filter, boxes);
    click(m_filter, "cmdFilter_0");
}

QStringList tst_Dialogs::shownTitles()
{
    QStringList titles;
    for (int i = 0; i < shownRecords(); ++i)
        titles << f->data.Recordset().valueAt(i, Catalogue::TITRE).toString();
    return titles;
}

void tst_Dialogs::firstOpening()
{
    // Each is a window of its own, on top, with no default button; it opens
    // active, ready for typing: the search in its text box, the filter on
    // its first box.
    using Expected = std::tuple<QWidget *, const char *, const char *>;
    for (auto [dialog, title, box] : {Expected{m_search, "Cherche", "txtSearch"}, {m_filter, "Filtre", "chkLangue_1"}}) {
        QCOMPARE(dialog->windowTitle(), title);
        QVERIFY(!dialog->parentWidget());
        QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            QVERIFY(!button->isDefault());
        dialog->hide();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget()->objectName(), box);
    }

    // Only the list's fields can be chosen, the title first; the text box
    // has the focus.
    auto *combo = m_search->findChild<QComboBox *>(QStringLiteral("Combo1"));
    QStringList fields;
    for (int i = 0; i < combo->count(); ++i)
        fields << combo->itemText(i);
    QCOMPARE(fields, Catalogue::sortFields());
    QCOMPARE(combo->currentText(), QStringLiteral("TITRE"));
    QVERIFY(!combo->isEditable());

    // The boxes carry the selectors' captions; the domains read 1 to 5, 7, 6.
    QList<QCheckBox *> domains = m_filter->findChildren<QCheckBox *>(QRegularExpression("^chkDomaine_[1-7]$"));
    std::sort(domains.begin(), domains.end(), [](QCheckBox *a, QCheckBox *b) { return a->y() < b->y(); });
    QStringList captions;
    for (QCheckBox *box : domains)
        captions << box->text();
    QCOMPARE(captions, (QStringList{"Chimie générale et chimie-physique", "Chimie minérale", "Chimie organique",
                                    "Exercices de chimie", "Travaux pratiques", "Pédagogie", "Divers"}));
    QCOMPARE(m_filter->findChild<QCheckBox *>(QStringLiteral("chkPrefixe_3"))->text(), QStringLiteral("vidéo"));

    // The toolkit's own texts are French too.
    QVERIFY(DialogLook::useFrenchToolkitTexts());
    QMessageBox box(QMessageBox::NoIcon, "ferulan 5", "ERROR", QMessageBox::Ok | QMessageBox::Cancel);
    box.setDetailedText("cause");
    QStringList buttons;
    for (QPushButton *button : box.findChildren<QPushButton *>())
        buttons << button->text().remove('&');
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"Annuler", "Montrer les détails...", "OK"}));
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
    QTest::newRow("deutsch, english, livre") << QStringList{"chkLangue_1", "chkLangue_3", "chkPrefixe_1"}
                                              << "WHERE (LANGUE = 'D' OR LANGUE = 'E' ) AND ( PREFIXE = 'B' )" << 2;
    QTest::newRow("livre, vidéo, Divers") << QStringList{"chkPrefixe_1", "chkPrefixe_3", "chkDomaine_6"}
                                           << "WHERE ( PREFIXE = 'B' OR PREFIXE = 'V' ) AND ( DOMAINE = 'F' )" << 2;
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

    QSignalSpy applied(m_filter, &frmFilter::filterApplied);
    filter(boxes);
    QCOMPARE(f->module.FilterClause, clause);
    QCOMPARE(shownRecords(), records);
    QCOMPARE(applied.count(), 1);
    QVERIFY(m_filter->isVisible() && m_messenger.messages.isEmpty());

    // Every application starts afresh from the boxes.
    for (QCheckBox *box : m_filter->findChildren<QCheckBox *>())
        box->setChecked(false);
    click(m_filter, "cmdFilter_0");
    QCOMPARE(f->module.FilterClause, QString());
}

void tst_Dialogs::searchClauses_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clause");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("trimmed") << "AUTEUR" << "  ll  " << "AUTEUR LIKE '*ll*'"
                             << QStringList{"Traité de chimie organique", "Titrationen im Labor"};
    QTest::newRow("title by default, inner blank kept") << "" << "  de chimie " << "TITRE LIKE '*de chimie*'"
                                                        << QStringList{"Traité de chimie organique"};
    QTest::newRow("tab kept") << "" << "\tchimie" << "TITRE LIKE '*\tchimie*'" << QStringList();
    QTest::newRow("l'eau") << "" << "l'eau" << "TITRE LIKE '*l''eau*'"
                           << QStringList{"L'eau et ses ions", "Exercices sur l'eau"};
    QTest::newRow("no breaking out") << "" << "x' OR 'a'='a" << "TITRE LIKE '*x'' OR ''a''=''a*'" << QStringList();
    QTest::newRow("number") << "NUMERO" << "7" << "NUMERO LIKE '*7*'" << QStringList{"Water, the inside story"};
    // Nothing to look for: the earlier search stays, no query runs.
    const QStringList eau{"L'eau et ses ions", "Exercices sur l'eau"};
    QTest::newRow("empty") << "" << "" << "TITRE LIKE '*eau*'" << eau;
    QTest::newRow("blanks") << "AUTEUR" << "    " << "TITRE LIKE '*eau*'" << eau;
}

void tst_Dialogs::searchClauses()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, clause);
    QFETCH(QStringList, titles);

    search(QString(), QStringLiteral("eau")); // replaced by the row's search, if any
    QSignalSpy applied(m_search, &frmSearch::searchApplied);
    QSignalSpy queried(&f->module, &Module1::columnsReset);
    search(field, typed);
    QVERIFY2(m_messenger.messages.isEmpty(), qPrintable(m_messenger.lastText()));
    QCOMPARE(f->module.SearchClause, clause);
    QCOMPARE(f->data.RecordSource(), "SELECT * FROM Biblio WHERE " + clause + " ORDER BY NUMERO");
    QCOMPARE(shownTitles(), titles);
    QCOMPARE(applied.count(), typed.trimmed().isEmpty() ? 0 : 1);
    QCOMPARE(queried.count(), applied.count());
    // The hourglass is gone once the result is shown.
    QVERIFY(m_search->isVisible() && !QGuiApplication::overrideCursor());
}

void tst_Dialogs::ignoringAccentsIsRemembered()
{
    const auto box = [this] { return m_search->findChild<QCheckBox *>(QStringLiteral("chkAccents")); };
    QVERIFY(!box()->isChecked()); // off without a setting: the plain search of searchClauses
    box()->click();
    search(QStringLiteral("AUTEUR"), QStringLiteral("ÉCOLE"));
    QCOMPARE(f->module.SearchClause, QStringLiteral("ferulan_likefolded('*ÉCOLE*', AUTEUR)"));
    QCOMPARE(shownTitles(), QStringList{"Chimie minérale"});

    // Kept in the settings: a reopened dialog searches the same way.
    QVERIFY(m_search->close());
    QTRY_VERIFY(!m_search);
    delete m_filter;
    openDialogs();
    QVERIFY(box()->isChecked());
    box()->click();
    search(QString(), QStringLiteral("minerale"));
    QCOMPARE(f->module.SearchClause, QStringLiteral("TITRE LIKE '*minerale*'"));
}

void tst_Dialogs::enterDoesNotApplyEscCancels()
{
    using Case = std::tuple<QWidget *, const char *, const char *>;
    for (auto [dialog, input, apply] : {Case{m_search, "txtSearch", "cmd_1"}, {m_filter, "chkLangue_1", "cmdFilter_0"}}) {
        // Keys reach a dialog once the user has clicked into it.
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        auto *field = dialog->findChild<QWidget *>(input);
        if (dialog == m_search)
            QTest::keyClicks(field, QStringLiteral("eau"));
        else
            tick(m_filter, {input});
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter);
        QCOMPARE(f->module.SearchClause + f->module.FilterClause, QString());
        // Enter on the focused button presses it; Esc cancels and hides the
        // dialog, still loaded.
        QTest::keyClick(dialog->findChild<QPushButton *>(apply), Qt::Key_Return);
        QCOMPARE(shownRecords(), 2);
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(shownRecords(), 8);
        QVERIFY(m_search && m_filter && dialog->isHidden());
    }
}

void tst_Dialogs::searchAndFilterTogether()
{
    filter({QStringLiteral("chkLangue_2")});
    search(QString(), QStringLiteral("ion"));
    QCOMPARE(f->data.RecordSource(),
             QStringLiteral("SELECT * FROM Biblio WHERE ( LANGUE = 'F' ) AND TITRE LIKE '*ion*' ORDER BY NUMERO"));
    QCOMPARE(shownTitles(), QStringList{"L'eau et ses ions"});

    // Annuler in the search dialog ends the search alone.
    click(m_search, "cmdCancel");
    QCOMPARE(f->module.FilterClause, QStringLiteral("WHERE ( LANGUE = 'F' )"));
    QCOMPARE(f->module.SearchClause, QString());
    QCOMPARE(shownRecords(), 4);
    QVERIFY(m_search->isHidden() && m_filter->isVisible());

    // And the filter's Annuler the filter alone.
    m_search->show();
    click(m_search, "cmd_1");
    QCOMPARE(shownRecords(), 1);
    click(m_filter, "cmdCancel");
    QCOMPARE(f->module.FilterClause, QString());
    QCOMPARE(f->data.RecordSource(), QStringLiteral("SELECT * FROM Biblio WHERE TITRE LIKE '*ion*' ORDER BY NUMERO"));
    QCOMPARE(shownTitles(), (QStringList{"Titrationen im Labor", "L'eau et ses ions"}));
    QVERIFY(m_filter->isHidden() && m_search->isVisible());
    QVERIFY(m_messenger.messages.isEmpty());
}

void tst_Dialogs::rejectedQueryShowsEngineText()
{
    QSignalSpy searched(m_search, &frmSearch::searchApplied);
    QSignalSpy filtered(m_filter, &frmFilter::filterApplied);
    // A stored order naming a field the table lacks makes every query fail.
    f->module.OrderClause = QStringLiteral("ORDER BY NOSUCH");

    search(QString(), QStringLiteral("eau"));
    filter({QStringLiteral("chkLangue_1")});
    QCOMPARE(m_messenger.messages.size(), 2);
    QVERIFY(!m_messenger.lastText().isEmpty());
    QCOMPARE(m_messenger.lastText(), f->module.lastError());
    QCOMPARE(searched.count() + filtered.count(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());

    // A failed Annuler leaves its dialog open.
    click(m_search, "cmdCancel");
    click(m_filter, "cmdCancel");
    QCOMPARE(m_messenger.messages.size(), 4);
    QVERIFY(m_search->isVisible() && m_filter->isVisible());

    // Once the order is mended, the next search works.
    f->module.OrderClause.clear();
    search(QString(), QStringLiteral("eau"));
    QCOMPARE(m_messenger.messages.size(), 4);
    QCOMPARE(searched.count(), 1);
    QCOMPARE(m_messenger.endCount, 0);
}

void tst_Dialogs::closeBoxKeepsClausesAndStoresGeometry()
{
    search(QString(), QStringLiteral("eau"));
    filter({QStringLiteral("chkLangue_2")});
    m_search->move(150, 90);
    m_filter->setGeometry(300, 120, 260, 400);
    const QRect searchFrame = m_search->frameGeometry();
    const QRect filterFrame = m_filter->frameGeometry();
    QVERIFY(m_search->close() && m_filter->close());
    QTRY_VERIFY(!m_search && !m_filter); // unloaded

    QCOMPARE(f->module.SearchClause, QStringLiteral("TITRE LIKE '*eau*'"));
    QCOMPARE(f->module.FilterClause, QStringLiteral("WHERE ( LANGUE = 'F' )"));
    const auto stored = [this](const char *section, const char *key) {
        f->ini.INISetSection(QLatin1String(section));
        return f->ini.INIGetValue(QLatin1String(key)).toInt();
    };
    QCOMPARE(stored("frmSearch Size", "Top"), searchFrame.y() * 15);
    QCOMPARE(stored("frmFilter Size", "Height"), filterFrame.height() * 15);

    // Reloaded, each comes back where it was, with fresh entries.
    openDialogs();
    QCOMPARE(m_search->frameGeometry().topLeft(), searchFrame.topLeft());
    QCOMPARE(m_filter->frameGeometry().topLeft(), filterFrame.topLeft());
    QVERIFY(m_search->findChild<QLineEdit *>(QStringLiteral("txtSearch"))->text().isEmpty());
    QVERIFY(!m_filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_2"))->isChecked());
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
