#pragma once

#include <QString>

// The current set in words, for the people reading it: how many records,
// and which search and filter narrow it. Built from the query state's own
// clauses, so that it says what the query in force does.
namespace QueryInForce {

// "Aucune fiche", "1 fiche", "63 fiches", "100 000 fiches".
QString countText(qint64 count);

// "recherche TITRE « chimie », filtre : deutsch, livre"; empty when neither
// clause is set.
QString conditionsText(const QString &searchClause, const QString &filterClause);

// The count, then the conditions after a dash when there are any.
QString summary(qint64 count, const QString &searchClause, const QString &filterClause);

} // namespace QueryInForce
