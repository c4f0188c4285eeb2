#pragma once
// The rows of one of the tables the user keeps, in table order, 0-based. The store numbers its
// items from 1; only the tables' load and save deal with that.
#include <QList>

#include <initializer_list>
#include <utility>

namespace ormisk {

template <typename Row> class TableRows {
public:
    TableRows() = default;
    TableRows(std::initializer_list<Row> rows)
        : m_rows(rows)
    {
    }
    explicit TableRows(QList<Row> rows)
        : m_rows(std::move(rows))
    {
    }

    [[nodiscard]] qsizetype size() const { return m_rows.size(); }
    [[nodiscard]] bool isEmpty() const { return m_rows.isEmpty(); }
    [[nodiscard]] const Row& at(qsizetype row) const { return m_rows.at(row); }
    [[nodiscard]] const Row& first() const { return m_rows.first(); }
    [[nodiscard]] Row& operator[](qsizetype row) { return m_rows[row]; }
    [[nodiscard]] const Row& operator[](qsizetype row) const { return m_rows.at(row); }
    [[nodiscard]] const QList<Row>& rows() const { return m_rows; }

    void append(const Row& row) { m_rows.append(row); }
    // Replaces every row.
    void assign(QList<Row> rows) { m_rows = std::move(rows); }
    // Keeps the order of the others.
    void removeAt(qsizetype row) { m_rows.removeAt(row); }
    void clear() { m_rows.clear(); }

    [[nodiscard]] auto begin() { return m_rows.begin(); }
    [[nodiscard]] auto end() { return m_rows.end(); }
    [[nodiscard]] auto begin() const { return m_rows.cbegin(); }
    [[nodiscard]] auto end() const { return m_rows.cend(); }

protected:
    QList<Row> m_rows;
};

} // namespace ormisk
