#include "DataControl.h"

#include "JetSql.h"
#include "KeysetQuery.h"

DataControl::DataControl(QObject *parent)
    : QObject(parent)
    , m_recordSet(*this)
{
}

DataControl::~DataControl()
{
    m_recordSet.clear();
    m_db.close();
}

void DataControl::setDatabaseName(const QString &path)
{
    if (path == m_databaseName)
        return;
    m_recordSet.clear();
    m_db.close();
    m_databaseName = path;
}

bool DataControl::openDatabase()
{
    if (m_db.isOpen())
        return true;
    if (!m_db.open(m_databaseName, m_readOnly ? Database::Mode::ReadOnly : Database::Mode::ReadWrite)) {
        m_error = m_db.lastError();
        return false;
    }
    return true;
}

bool DataControl::Refresh()
{
    m_error = {};
    if (!openDatabase())
        return false;
    QString syntaxError;
    const auto select = JetSql::translate(m_recordSource, &syntaxError, m_db.dialect());
    if (!select) {
        m_error = {DataErrors::QuerySyntax, syntaxError};
        return false;
    }
    // Edits of the record being left are kept, not dropped with the old result.
    if (m_recordSet.m_db && !m_recordSet.storePending()) {
        m_error = m_recordSet.lastError();
        return false;
    }
    if (!m_recordSet.load(m_db, *select)) {
        m_error = m_recordSet.lastError();
        return false;
    }
    Q_EMIT refreshed();
    announceReposition();
    // Once the old result and what showed it are gone too.
    KeysetQuery::giveMemoryBack();
    return true;
}

bool DataControl::setReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return true;
    if (readOnly && m_recordSet.m_db && !m_recordSet.storePending()) {
        m_error = m_recordSet.lastError();
        return false;
    }
    m_readOnly = readOnly;
    if (!m_db.isOpen())
        return true;
    // Reopen the same file in the new mode; the keys of the result stay valid.
    m_recordSet.m_fetch.reset();
    m_recordSet.forgetKnownOrder();
    m_db.close();
    if (!openDatabase()) {
        m_recordSet.clear();
        Q_EMIT refreshed();
        return false;
    }
    m_recordSet.m_fetch = RecordSet::prepareFetch(m_db, m_recordSet.m_table, m_recordSet.m_key);
    m_recordSet.m_cache.clear();
    return true;
}

bool DataControl::UpdateRecord()
{
    m_error = {};
    RecordSet &rs = m_recordSet;
    if (m_readOnly || !rs.m_db) {
        rs.CancelUpdate();
        return true;
    }
    if (rs.m_editMode == RecordSet::EditMode::None) {
        // Nothing typed: the record is stored as it stands, which changes nothing.
        if (rs.hasCurrent())
            rs.m_lastModified = rs.m_keys[std::size_t(rs.m_position)];
        return true;
    }
    if (!rs.Update()) {
        m_error = rs.lastError();
        return false;
    }
    return true;
}

void DataControl::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    Q_EMIT captionChanged(caption);
}

void DataControl::navigate(bool (RecordSet::*move)())
{
    // The bar on an empty result has nowhere to go.
    if (m_recordSet.recordCount() == 0)
        return;
    if (!(m_recordSet.*move)())
        Q_EMIT errorOccurred(m_recordSet.lastError().number, m_recordSet.lastError().text);
}

void DataControl::moveFirst()
{
    navigate(&RecordSet::MoveFirst);
}

void DataControl::movePrevious()
{
    // The bar stops at the first record rather than leaving it.
    if (m_recordSet.AbsolutePosition() == 0)
        return;
    navigate(&RecordSet::MovePrevious);
}

void DataControl::moveNext()
{
    // Likewise at the last record, and past the end there is nothing further.
    if (m_recordSet.isEOF() || m_recordSet.AbsolutePosition() == m_recordSet.recordCount() - 1)
        return;
    navigate(&RecordSet::MoveNext);
}

void DataControl::moveLast()
{
    navigate(&RecordSet::MoveLast);
}

bool DataControl::close()
{
    if (m_recordSet.m_db) {
        announceValidate(CloseAction);
        if (!m_recordSet.storePending()) {
            m_error = m_recordSet.lastError();
            return false;
        }
    }
    m_recordSet.clear();
    m_db.close();
    return true;
}

void DataControl::announceValidate(int action)
{
    const bool changed = m_recordSet.m_editMode != RecordSet::EditMode::None
        && m_recordSet.m_changed.contains(true);
    Q_EMIT validating(action, changed);
}

void DataControl::announceReposition()
{
    Q_EMIT repositioned();
}
