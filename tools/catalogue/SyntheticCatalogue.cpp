#include "SyntheticCatalogue.h"

#include <QStringList>

#include <array>

namespace {

template <std::size_t N>
QStringList words(const std::array<const char *, N> &list)
{
    QStringList result;
    result.reserve(int(N));
    for (const char *word : list)
        result << QString::fromUtf8(word);
    return result;
}

const QStringList &lastNames()
{
    static const QStringList names = words(std::array{
        "Martin", "Bernard", "Dubois", "Thomas", "Robert", "Richard", "Petit", "Durand", "Leroy", "Moreau",
        "Simon", "Laurent", "Lefèvre", "Michel", "Garcia", "David", "Bertrand", "Roux", "Vincent", "Fournier",
        "Morel", "Girard", "André", "Lefebvre", "Mercier", "Dupont", "Lambert", "Bonnet", "François", "Martinez",
        "Légaré", "Béranger", "Châtelain", "Pétremand", "Clément", "Gérard", "Benoît", "Fèvre", "Jérôme", "Dufaÿ",
        "Boëx", "Crémieux", "Hébert", "Séverin", "Côté", "Brûlé", "Lachênal", "Desbœufs", "Aubépin", "Rességuier",
        "Vuilleumier", "Perrenoud", "Chappuis", "Jaccard", "Rochat", "Favre", "Gaillard", "Besson", "Duchêne",
        "Schäfer", "Müller", "Brügger", "Kälin", "Lüthi", "Weiß", "Zimmermann", "Hoffmann",
        "Whitfield", "Ashworth", "Pembroke", "Caldwell", "Holloway", "Thornton",
        "d'Aubigné", "de la Tour", "L'Éplattenier", "d'Espagnac", "O'Neill", "N'Diaye",
    });
    return names;
}

const QStringList &firstNames()
{
    static const QStringList names = words(std::array{
        "Jean", "Marie", "Pierre", "Anne", "Michel", "Hélène", "Jérôme", "Zoé", "Gaëlle", "Noël", "Amélie",
        "François", "Céline", "Étienne", "Thérèse", "Grégoire", "Irène", "Raphaël", "Agnès", "Benoît",
        "Maëlle", "Loïc", "Anaïs", "Joël", "Frédéric", "Cécile", "Rémi", "Léa", "Sébastien", "Éloïse",
        "Jean-Pierre", "Marie-Claude", "Anne-Sophie", "Paul-Henri", "Klaus", "Ursula", "Margaret", "Peter",
    });
    return names;
}

const QStringList &publisherKinds()
{
    static const QStringList kinds = words(std::array{
        "Éditions", "Presses", "Librairie", "Éditions scientifiques", "Presses universitaires",
        "Imprimerie", "Verlag", "Press",
    });
    return kinds;
}

const QStringList &publisherNames()
{
    static const QStringList names = words(std::array{
        "du Léman", "de la Sarine", "Delorme", "Vauclair", "du Jura", "de l'Arve", "des Alpes", "Romandes",
        "du Rhône", "de l'Orbe", "Saint-Gervais", "de Provence", "de l'Étoile", "du Lac", "Bel-Air",
        "Lindenhof", "Kessler", "Harrow & Finch", "Crossgate", "de l'Université", "Pédagogiques",
        "du Château", "des Écoles", "Méridien", "l'Atelier",
    });
    return names;
}

const QStringList &subjects()
{
    static const QStringList list = words(std::array{
        "Chimie générale", "Chimie organique", "Chimie minérale", "Chimie analytique", "Chimie physique",
        "Chimie quantique", "Chimie des solutions", "Chimie du solide", "Chimie des polymères",
        "Chimie de l'environnement", "Biochimie", "Électrochimie", "Photochimie", "Radiochimie",
        "Thermodynamique", "Cinétique", "Spectroscopie", "Cristallographie", "Stéréochimie",
        "Thermochimie", "Catalyse", "Oxydoréduction", "Les équilibres acido-basiques", "La liaison chimique",
        "L'atome", "Les métaux de transition", "Les halogènes", "Les hétérocycles", "Les composés carbonylés",
        "La chromatographie", "L'analyse instrumentale", "La sécurité au laboratoire", "Les colorants",
        "Les arômes et les parfums", "Le pétrole", "Les silicates", "L'eau", "Les gaz", "Les colloïdes",
        "La symétrie moléculaire", "La résonance magnétique nucléaire", "La spectrométrie de masse",
        "Stœchiométrie", "Didactique", "Nomenclature", "Histoire des sciences", "Les médicaments",
        "Les engrais", "La corrosion", "Les surfaces",
    });
    return list;
}

const QStringList &complements()
{
    static const QStringList list = words(std::array{
        "cours et exercices", "exercices corrigés", "principes et applications", "une introduction",
        "méthodes et techniques", "de la théorie à la pratique", "travaux pratiques", "problèmes résolus",
        "notions fondamentales", "aide-mémoire", "questions de cours", "pour l'ingénieur",
        "pour le gymnase", "niveau licence", "mécanismes et synthèse", "structures et propriétés",
        "d'hier à aujourd'hui", "l'essentiel", "manuel de l'étudiant", "guide de l'enseignant",
        "annales d'examens", "fiches de révision", "en 100 questions", "démarches expérimentales",
        "applications industrielles", "modèles et réalité",
    });
    return list;
}

const QStringList &titlePrefixes()
{
    static const QStringList list = words(std::array{
        "Introduction à la chimie", "Précis de chimie", "Traité de chimie", "Cours de chimie",
        "Initiation à la chimie", "Manuel de chimie", "Abrégé de chimie", "Éléments de chimie",
    });
    return list;
}

const QStringList &titleQualifiers()
{
    static const QStringList list = words(std::array{
        "générale", "organique", "minérale", "analytique", "physique", "industrielle", "biologique",
        "pharmaceutique", "théorique", "expérimentale", "des matériaux", "de l'environnement",
    });
    return list;
}

template <typename List>
const QString &pick(const List &list, int index)
{
    return list.at(index);
}

} // namespace

SyntheticCatalogue::SyntheticCatalogue(quint64 seed) : m_state(seed) {}

// splitmix64: small, fast and the same everywhere.
quint64 SyntheticCatalogue::nextRandom()
{
    quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int SyntheticCatalogue::below(int bound)
{
    return int(nextRandom() % quint64(bound));
}

bool SyntheticCatalogue::chance(int percent)
{
    return below(100) < percent;
}

// A letter of the table by weight; now and then a letter the program does
// not know (lower case or outside the table), or nothing.
QString SyntheticCatalogue::codeLetter(const char *letters, const int *weights, int count, const char *odd)
{
    const int roll = below(1000);
    if (roll < 8)
        return QString(QLatin1Char(odd[roll % int(qstrlen(odd))]));
    if (roll < 16)
        return QString();
    int total = 0;
    for (int i = 0; i < count; ++i)
        total += weights[i];
    int r = below(total);
    for (int i = 0; i < count; ++i) {
        if (r < weights[i])
            return QString(QLatin1Char(letters[i]));
        r -= weights[i];
    }
    return QString(QLatin1Char(letters[0]));
}

QString SyntheticCatalogue::author()
{
    const QStringList &last = lastNames();
    const QStringList &first = firstNames();
    QString text = pick(last, below(int(last.size()))) + QStringLiteral(", ") + pick(first, below(int(first.size())));
    if (chance(12)) {
        text += QStringLiteral("; ") + pick(last, below(int(last.size()))) + QStringLiteral(", ")
            + pick(first, below(int(first.size())));
    }
    return text;
}

QString SyntheticCatalogue::publisher()
{
    return pick(publisherKinds(), below(int(publisherKinds().size()))) + QLatin1Char(' ')
        + pick(publisherNames(), below(int(publisherNames().size())));
}

QString SyntheticCatalogue::title()
{
    QString text;
    switch (below(6)) {
    case 0:
    case 1:
        text = pick(subjects(), below(int(subjects().size())));
        break;
    case 2:
    case 3:
        text = pick(subjects(), below(int(subjects().size()))) + QStringLiteral(" : ")
            + pick(complements(), below(int(complements().size())));
        break;
    case 4:
        text = pick(subjects(), below(int(subjects().size()))) + QStringLiteral("; ")
            + pick(complements(), below(int(complements().size())));
        break;
    default:
        text = pick(titlePrefixes(), below(int(titlePrefixes().size()))) + QLatin1Char(' ')
            + pick(titleQualifiers(), below(int(titleQualifiers().size())));
        break;
    }
    if (chance(10))
        text += QStringLiteral(" (%1e éd.)").arg(2 + below(8));
    else if (chance(8))
        text += QStringLiteral(", tome %1").arg(1 + below(4));
    return text;
}

QString SyntheticCatalogue::isbn()
{
    static const char *const groups[] = {"2", "2", "2", "3", "1", "0"};
    const QString group = QLatin1String(groups[below(6)]);
    const QString publisherCode = QString::number(100 + below(8900));
    const int titleDigits = 9 - int(group.size()) - int(publisherCode.size());
    QString titleCode = QString::number(below(1000000)).rightJustified(titleDigits, QLatin1Char('0'));
    titleCode = titleCode.right(titleDigits);
    const QString body = group + publisherCode + titleCode;
    if (chance(25)) {
        int sum = 0;
        for (int i = 0; i < 9; ++i)
            sum += (body.at(i).unicode() - '0') * (10 - i);
        const int check = (11 - sum % 11) % 11;
        return QStringLiteral("%1-%2-%3-%4")
            .arg(group, publisherCode, titleCode, check == 10 ? QStringLiteral("X") : QString::number(check));
    }
    const QString digits = QStringLiteral("978") + body;
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (digits.at(i).unicode() - '0') * (i % 2 == 0 ? 1 : 3);
    return QStringLiteral("978-%1-%2-%3-%4").arg(group, publisherCode, titleCode).arg((10 - sum % 10) % 10);
}

RecordValues SyntheticCatalogue::next()
{
    static const int prefixWeights[] = {70, 7, 7, 9, 7};
    static const int langueWeights[] = {15, 65, 20};
    static const int domaineWeights[] = {18, 14, 22, 12, 12, 12, 10};

    RecordValues values;
    values.setText(Catalogue::PREFIXE, codeLetter("BLVZT", prefixWeights, 5, "blvzXQ"));
    values.setText(Catalogue::LANGUE, codeLetter("DFE", langueWeights, 3, "dfeIS"));
    values.setText(Catalogue::DOMAINE, codeLetter("ABCDEFG", domaineWeights, 7, "abcdeHZ"));
    if (!chance(3))
        values[Catalogue::NUMERO] = qint64(1 + below(32767));
    if (!chance(4))
        values.setText(Catalogue::AUTEUR, author());
    if (!chance(6))
        values.setText(Catalogue::EDITEUR, publisher());
    if (!chance(1))
        values.setText(Catalogue::TITRE, title());
    if (chance(75))
        values.setText(Catalogue::ISBN, isbn());
    return values;
}
