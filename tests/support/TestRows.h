#ifndef TESTROWS_H
#define TESTROWS_H

// QtTest data tables that several test programs share. Header-only: an includer links Qt6::Test.

#include "TestFiles.h"

#include <QtTest>

namespace testsupport {

// Columns "width" and "height", one row per size that every part of the player refuses.
inline void AddUnsupportedSizeRows()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const TSizeCase &size : UnsupportedSizes())
        QTest::newRow(size.Tag) << size.W << size.H;
}

} // namespace testsupport

#endif // TESTROWS_H
