#pragma once
// A Qt Test data table's columns in one line: columns<int, QString>({"count", "text"}).

#include <QTest>

#include <array>

template <typename... Types> void columns(const std::array<const char*, sizeof...(Types)>& names) {
    std::size_t i = 0;
    (QTest::addColumn<Types>(names[i++]), ...);
}
