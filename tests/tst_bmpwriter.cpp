#include <QtTest>

class TestBmpWriter : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(TestBmpWriter)
#include "tst_bmpwriter.moc"
