#pragma once
// A Qt Test data table's columns in one line: columns<int, QString>({"count", "text"}),
// and its rows: tableRow("a name", 1, QString("one")).

#include <QTest>

#include <array>

template <typename... Types> void columns(const std::array<const char*, sizeof...(Types)>& names) {
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}

// One row of a Qt Test table, its columns in order.
template <typename... Columns> void tableRow(const char* name, const Columns&... columns) {
    (QTest::newRow(name) << ... << columns);
}
