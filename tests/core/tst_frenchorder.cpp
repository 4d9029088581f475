#include "catalogue/JetText.h"

#include <QtTest>

#include <unicode/ucol.h>

#include <algorithm>
#include <memory>
#include <random>

// The sort keys against the French collator itself: the same order for
// generated and hand-picked texts, and the same key from the fast path and
// from the collator's own elements, whose first bytes the cheap look gives.
class TestFrenchOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dictionaryOrder();
    void sameOrderAsTheCollator();
};

namespace {

std::string keyOf(const QByteArray &text)
{
    std::string key;
    JetText::appendSortKey(key, text.constData(), int(text.size()));
    return key;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

QList<QByteArray> generatedTexts(int count)
{
    // Weighted toward the letters; each entry is one character.
    const QStringList alphabet = QStringLiteral(
        "a a e e e i o u c d l n r s t A E C D L N R S T à â ä é é è ê ë î ï ô ö ù û ü ÿ ç "
        "À Â É È Ê Ë Î Ô Ù Û Ç Ÿ œ Œ æ Æ ß ø ð ĳ ' ’ - ‐ , . ; : ! ? ( ) / « » – … € &")
                                     .split(QLatin1Char(' '))
        + QStringList{QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("\u00A0"), QStringLiteral("\u0301"),
                      QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("9"),
                      QStringLiteral("½"), QStringLiteral("α"), QStringLiteral("Ω"), QStringLiteral("ж"),
                      QStringLiteral("Я"), QStringLiteral("中"), QStringLiteral("字"), QStringLiteral("·")};
    std::mt19937 random(20261207);
    QList<QByteArray> texts;
    for (int i = 0; i < count; ++i) {
        QString text;
        // Mostly short, for ties; some long, for long runs of plain letters.
        const int length = int(random() % (i % 4 == 0 ? 40 : 9)) + 1;
        for (int k = 0; k < length; ++k)
            text += alphabet[int(random() % alphabet.size())];
        texts << text.toUtf8();
    }
    return texts;
}

} // namespace

void TestFrenchOrder::dictionaryOrder()
{
    // Base letters, then accents from the left, then case; blanks, apostrophes
    // and hyphens before digits before letters; ligatures with their letters.
    const QList<QByteArray> expected{"-", "'", "1", "10", "2", "cote", "Cote", "coté", "côte", "côté", "Côté",
                                     "côtes", "l'eau", "l’eau", "leau", "oe", "Oe", "œ", "Œ", "oeuvre", "œuvre",
                                     "Zola", "α", "ж", "中"};
    for (int i = 1; i < expected.size(); ++i)
        QVERIFY2(keyOf(expected[i - 1]) < keyOf(expected[i]), expected[i - 1] + " before " + expected[i]);
}

void TestFrenchOrder::sameOrderAsTheCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, void (*)(UCollator *)> french(ucol_open("fr", &status), ucol_close);
    QVERIFY2(U_SUCCESS(status), u_errorName(status));

    QList<QByteArray> texts = generatedTexts(4000);
    texts << "cote" << "Cote" << "coté" << "côte" << "côté" << "CÔTÉ" << "cotes" << "co-te" << "co te" << "L'Été"
          << "l’été" << "Leté" << "Straße" << "strasse" << "ŒUVRE" << "oeuvres" << "Æsop" << "aesop" << "e\u0301te"
          << "éte" << "ete" << "12 rue" << "1er" << "Ä" << "a\u00A0b" << "a b" << "ab" << "Ɛ" << "ǅ" << "l·l"
          << QByteArray(300, 'a') + "É" << QByteArray(300, 'a') + "é" << QByteArray(301, 'a') + "é" << "a" + QByteArray(299, 'A');
    // Accents and capitals after runs of plain letters of every length.
    for (int run = 0; run < 16; ++run)
        texts << QByteArray(run, 'a') + "ée" << QByteArray(run, 'a') + "eé" << QByteArray(run, 'a') + "Ea"
              << QByteArray(run, 'a') + "eA";
    std::vector<std::string> keys;
    for (const QByteArray &text : texts) {
        keys.push_back(keyOf(text));
        std::string slow;
        JetText::appendCollatorSortKey(slow, text.constData(), int(text.size()));
        QVERIFY2(keys.back() == slow, "the collator's path gives another key for " + text);
        QVERIFY2(keys.back().find('\0') == std::string::npos, text);
        // The cheap look at a key's first bytes, where it gives them, agrees.
        unsigned char start[7];
        if (JetText::sortKeyStart(text.constData(), int(text.size()), start, 7))
            QVERIFY2(keys.back().compare(0, 7, reinterpret_cast<const char *>(start), 7) == 0, "key start of " + text);
    }
    // Every pair of neighbours in the collator's order, and random pairs.
    std::vector<int> order(std::size_t(texts.size()));
    std::iota(order.begin(), order.end(), 0);
    auto collate = [&](int a, int b) {
        return sign(ucol_strcollUTF8(french.get(), texts[a].constData(), int(texts[a].size()), texts[b].constData(),
                                     int(texts[b].size()), &status));
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return collate(a, b) < 0; });
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t i = 1; i < order.size(); ++i)
        pairs.emplace_back(order[i - 1], order[i]);
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i)
        pairs.emplace_back(int(random() % texts.size()), int(random() % texts.size()));
    for (const auto &[a, b] : pairs) {
        const int byKey = sign(keys[a].compare(keys[b]));
        QVERIFY2(byKey == collate(a, b), texts[a] + (byKey < 0 ? " sorts before " : " does not sort before ") + texts[b]);
    }
}

QTEST_GUILESS_MAIN(TestFrenchOrder)
#include "tst_frenchorder.moc"
