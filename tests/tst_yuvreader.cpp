#include <QtTest>
class TestYUVReader : public QObject { Q_OBJECT };
QTEST_APPLESS_MAIN(TestYUVReader)
#include "tst_yuvreader.moc"
