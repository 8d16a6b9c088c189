#include <QtTest>

class TestOpenGLWidget : public QObject
{
    Q_OBJECT
};

QTEST_MAIN(TestOpenGLWidget)
#include "tst_openglwidget.moc"
