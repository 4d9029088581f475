#pragma once

#include <QChar>
#include <QString>

// ISBN check digits. A text has the shape of an ISBN when, once hyphens and
// blanks are taken out, it is either 10 characters of which the first nine
// are digits and the last a digit or "X"/"x" (standing for 10), or 13 digits
// starting with 978 or 979. Anything else (an empty box, a periodical's ISSN
// such as 0317-8471, a note) is not an ISBN and so never wrong.
namespace Isbn {

struct Check {
    bool shaped = false;  // has the shape of an ISBN
    bool correct = false; // shaped, and its last character is the check digit
    QChar expected;       // the check digit it should end with, when shaped
    bool wrong() const { return shaped && !correct; }
};

Check check(const QString &text);

// Hyphens and blanks taken out, letters in upper case: two texts for one
// book compare equal.
QString normalised(const QString &text);

} // namespace Isbn
