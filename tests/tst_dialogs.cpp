#include "TParamDialog.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>

namespace {

const QStringList WidthPresets {"176", "320", "480", "704", "720", "1280", "1920"};
const QStringList HeightPresets {"144", "240", "360", "480", "486", "576", "720", "1080"};

QComboBox *SizeBox(TParamDialog &d, const QString &field)
{
    return field == "width" ? d.WidthComboBox : d.HeightComboBox;
}

QStringList Items(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Shows the dialog without exec() so the test can drive it directly, and puts the keyboard focus
// into a field. Inline completion only acts while the field has focus, as it does for the user.
bool ShowAndFocus(QDialog &d, QWidget *field)
{
    d.show();
    d.activateWindow();
    if (!QTest::qWaitForWindowActive(&d))
        return false;
    field->setFocus();
    return field->hasFocus();
}

// Empties a size field with select-all and Delete, then types the text key by key.
void Retype(QComboBox *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// Shows the dialog and types text into a size field in place of what it held, as a user does
// after clicking into it.
bool TypeInto(QDialog &d, QComboBox *box, const QString &text)
{
    if (!ShowAndFocus(d, box))
        return false;
    Retype(box, text);
    return true;
}

// The same, confirmed with Enter.
bool EnterInto(QDialog &d, QComboBox *box, const QString &text)
{
    if (!TypeInto(d, box, text))
        return false;
    QTest::keyClick(box, Qt::Key_Return);
    return true;
}

// Runs the dialog modally and performs the action once it is the active modal widget. A dialog
// that never shows up, or an action that does not close it, ends with -1.
int ExecWith(QDialog &d, const std::function<void()> &action)
{
    QTimer::singleShot(0, &d, [&] {
        if (QApplication::activeModalWidget() == &d)
            action();
        else
            d.done(-1);
    });
    QTimer::singleShot(5000, &d, [&] { d.done(-1); });
    return d.exec();
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void paramInitialState();
    void gotoInitialState();
    void geometry_data();
    void geometry();
    void tabOrder();
    void typing_data();
    void typing();
    void typedSizeConfirmed_data();
    void typedSizeConfirmed();
    void listStopsAt32();
    void okFollowsSizes_data();
    void okFollowsSizes();
    void indexesSetBeforeExec_data();
    void indexesSetBeforeExec();
    void results_data();
    void results();
    void spinBoxesClamp_data();
    void spinBoxesClamp();
    void activeLabelClicked_data();
    void activeLabelClicked();
};

void TestDialogs::init()
{
    // The dialogs connect by textual signature: a misspelt one must fail the test.
    QTest::failOnWarning(QRegularExpression("^QObject::connect"));
}

void TestDialogs::paramInitialState()
{
    TParamDialog d(nullptr);
    QCOMPARE(d.objectName(), QString("ParametersDialog"));
    QCOMPARE(d.windowTitle(), QString("Parameters"));
    QCOMPARE(d.windowModality(), Qt::WindowModal);
    QCOMPARE(d.size(), QSize(220, 320));
    QCOMPARE(d.minimumSize(), QSize(220, 320));
    QCOMPARE(d.maximumSize(), QSize(220, 320));

    QCOMPARE(d.WidthLabel->text(), QString("Width"));
    QCOMPARE(d.HeightLabel->text(), QString("Height"));
    QCOMPARE(d.FPSLabel->text(), QString("Frames per second"));
    QCOMPARE(d.YUVFormatLabel->text(), QString("YUV format"));
    QCOMPARE(d.WidthLabel->frameShape(), QFrame::NoFrame);
    QCOMPARE(d.WidthLabel->lineWidth(), 0);
    QCOMPARE(d.HeightLabel->textFormat(), Qt::RichText);

    for (auto [box, presets, top] : {std::make_tuple(d.WidthComboBox, WidthPresets, 1920),
             std::make_tuple(d.HeightComboBox, HeightPresets, 1080)}) {
        QVERIFY(box->isEditable());
        QCOMPARE(box->insertPolicy(), QComboBox::InsertAtTop);
        QCOMPARE(box->maxCount(), 32);
        QCOMPARE(Items(box), presets);
        QCOMPARE(box->currentIndex(), 0);
        auto *validator = qobject_cast<const QIntValidator *>(box->validator());
        QVERIFY(validator);
        QCOMPARE(validator->parent(), &d);
        QCOMPARE(validator->bottom(), 1);
        QCOMPARE(validator->top(), top);
    }

    QVERIFY(!d.comboBox->isEditable());
    QCOMPARE(d.comboBox->insertPolicy(), QComboBox::NoInsert);
    QCOMPARE(Items(d.comboBox), QStringList({"YUV 420", "YUV 422", "YUV 444"}));
    QCOMPARE(d.comboBox->currentText(), QString("YUV 420"));
    QCOMPARE(d.FPSSpinBox->value(), 1);
    QVERIFY(d.buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
}

void TestDialogs::gotoInitialState()
{
    TGotoDialog d(nullptr);
    QCOMPARE(d.objectName(), QString("Dialog"));
    QCOMPARE(d.windowTitle(), QString("Goto frame #"));
    QCOMPARE(d.label->text(), QString("Of 0"));
    QCOMPARE(d.windowModality(), Qt::WindowModal);
    QCOMPARE(d.size(), QSize(200, 90));
    QCOMPARE(d.minimumSize(), QSize(200, 90));
    QCOMPARE(d.maximumSize(), QSize(200, 90));
    QCOMPARE(d.spinBox->value(), 0);
}

void TestDialogs::geometry_data()
{
    QTest::addColumn<bool>("gotoDialog");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("param-WidthLabel") << false << "WidthLabel" << QRect(40, 20, 62, 18);
    QTest::newRow("param-WidthComboBox") << false << "WidthComboBox" << QRect(40, 40, 141, 27);
    QTest::newRow("param-HeightLabel") << false << "HeightLabel" << QRect(40, 80, 62, 18);
    QTest::newRow("param-HeightComboBox") << false << "HeightComboBox" << QRect(40, 100, 141, 27);
    QTest::newRow("param-YUVFormatLabel") << false << "YUVFormatLabel" << QRect(40, 140, 111, 18);
    QTest::newRow("param-comboBox") << false << "comboBox" << QRect(40, 160, 141, 27);
    QTest::newRow("param-FPSLabel") << false << "FPSLabel" << QRect(40, 200, 141, 18);
    QTest::newRow("param-FPSSpinBox") << false << "FPSSpinBox" << QRect(40, 220, 141, 28);
    QTest::newRow("param-buttonBox") << false << "buttonBox" << QRect(10, 270, 191, 32);
    QTest::newRow("goto-buttonBox") << true << "buttonBox" << QRect(10, 50, 171, 32);
    QTest::newRow("goto-label") << true << "label" << QRect(130, 16, 101, 20);
    QTest::newRow("goto-spinBox") << true << "spinBox" << QRect(10, 10, 111, 28);
}

// Each widget is found by its object name, is the member of that name and sits where it should.
void TestDialogs::geometry()
{
    QFETCH(bool, gotoDialog);
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    TParamDialog p(nullptr);
    TGotoDialog g(nullptr);
    const QHash<QString, QWidget *> members = gotoDialog
        ? QHash<QString, QWidget *> {{"buttonBox", g.buttonBox}, {"label", g.label},
            {"spinBox", g.spinBox}}
        : QHash<QString, QWidget *> {{"WidthLabel", p.WidthLabel},
            {"WidthComboBox", p.WidthComboBox}, {"HeightLabel", p.HeightLabel},
            {"HeightComboBox", p.HeightComboBox}, {"YUVFormatLabel", p.YUVFormatLabel},
            {"comboBox", p.comboBox}, {"FPSLabel", p.FPSLabel}, {"FPSSpinBox", p.FPSSpinBox},
            {"buttonBox", p.buttonBox}};
    QDialog *dialog = gotoDialog ? static_cast<QDialog *>(&g) : &p;
    QWidget *widget = dialog->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(widget);
    QCOMPARE(widget, members.value(name));
    QCOMPARE(widget->geometry(), rect);
    QVERIFY(!dialog->layout());
}

// Tab walks the fields in the order they were built, the button box first.
void TestDialogs::tabOrder()
{
    TParamDialog d(nullptr);
    QVERIFY(ShowAndFocus(d, d.WidthComboBox));
    const QList<QWidget *> expected {d.HeightComboBox, d.FPSSpinBox, d.comboBox,
        d.buttonBox->button(QDialogButtonBox::Ok), d.buttonBox->button(QDialogButtonBox::Cancel),
        d.WidthComboBox};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestDialogs::typing_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const char *field, const char *typed, const char *shown) {
        QTest::newRow(tag) << QString(field) << QString(typed) << QString(shown);
    };
    row("width-new-size", "width", "352", "352");
    row("height-new-size", "height", "352", "352");
    // Completion turns "192" into "1920" with the "0" selected; the final "1" would make 1921
    // and is refused, so the completed preset stays.
    row("width-1921-refused", "width", "1921", "1920");
    row("height-1081-refused", "height", "1081", "1080");
    row("width-2000-refused", "width", "2000", "200");
    // A refused key in an empty field completes the empty text to the first entry, so the
    // letters follow a digit that no entry starts with.
    row("letters-refused", "width", "5abc", "5");
    row("plus-refused", "width", "+352", "352");
    row("group-separator-refused", "width", "2,000", "200");
    row("space-refused", "height", " 352", "352");
    row("zero-stands", "width", "0", "0");
}

// Typed text without Enter is what the field shows, but the selected entry stays the same.
void TestDialogs::typing()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    TParamDialog d(nullptr);
    QComboBox *box = SizeBox(d, field);
    box->setCurrentIndex(2);
    const QStringList before = Items(box);
    QVERIFY(TypeInto(d, box, typed));
    QCOMPARE(box->currentText(), expected);
    QCOMPARE(box->currentIndex(), 2);
    QCOMPARE(Items(box), before);
    QVERIFY(d.isVisible());
}

void TestDialogs::typedSizeConfirmed_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("items");
    const auto row = [](const char *tag, const char *field, const char *typed, int index,
                         const QStringList &items) {
        QTest::newRow(tag) << QString(field) << QString(typed) << index << items;
    };
    row("width-new-at-top", "width", "352", 0, QStringList {"352"} + WidthPresets);
    row("height-new-at-top", "height", "352", 0, QStringList {"352"} + HeightPresets);
    row("width-leading-zero", "width", "0352", 0, QStringList {"0352"} + WidthPresets);
    row("width-existing-720", "width", "720", 4, WidthPresets);
    row("width-existing-1920", "width", "1920", 6, WidthPresets);
    row("height-existing-1080", "height", "1080", 7, HeightPresets);
}

// Enter confirms the size into the list and, as in any dialog, also presses the default OK.
void TestDialogs::typedSizeConfirmed()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, index);
    QFETCH(QStringList, items);
    TParamDialog d(nullptr);
    QComboBox *box = SizeBox(d, field);
    QVERIFY(EnterInto(d, box, typed));
    QCOMPARE(Items(box), items);
    QCOMPARE(box->currentIndex(), index);
    QCOMPARE(box->currentText(), items.at(index));
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestDialogs::listStopsAt32()
{
    TParamDialog d(nullptr);
    // 25 sizes on top of the 7 presets fill the list; four digits each, so completion of one
    // never swallows another.
    for (int i = 0; i < 25; ++i)
        QVERIFY(EnterInto(d, d.WidthComboBox, QString::number(1000 + i)));
    QCOMPARE(d.WidthComboBox->count(), 32);
    QCOMPARE(d.WidthComboBox->itemText(0), QString("1024"));

    QVERIFY(EnterInto(d, d.WidthComboBox, "555"));
    QCOMPARE(d.WidthComboBox->count(), 32);
    QCOMPARE(d.WidthComboBox->findText("555"), -1);
    QCOMPARE(d.WidthComboBox->currentIndex(), 0);
    QCOMPARE(d.WidthComboBox->currentText(), QString("555"));
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestDialogs::okFollowsSizes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");
    const auto row = [](const char *tag, const char *field, const char *typed, bool enabled) {
        QTest::newRow(tag) << QString(field) << QString(typed) << enabled;
    };
    row("width-empty", "width", "", false);
    row("width-zero", "width", "0", false);
    row("width-zeros", "width", "000", false);
    row("height-empty", "height", "", false);
    row("height-zero", "height", "0", false);
    row("width-valid", "width", "352", true);
    row("height-valid", "height", "288", true);
}

// OK, and with it Enter, is refused while a size field holds no usable size.
void TestDialogs::okFollowsSizes()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(bool, enabled);
    TParamDialog d(nullptr);
    QComboBox *box = SizeBox(d, field);
    QVERIFY(TypeInto(d, box, typed));
    QCOMPARE(d.buttonBox->button(QDialogButtonBox::Ok)->isEnabled(), enabled);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(d.isVisible(), !enabled);
    if (!enabled) {
        // Mending the field brings OK back.
        Retype(box, "240");
        QVERIFY(d.buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
    }
}

void TestDialogs::indexesSetBeforeExec_data()
{
    QTest::addColumn<int>("widthIndex");
    QTest::addColumn<int>("heightIndex");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("both-in-range") << 6 << 7 << true;
    QTest::newRow("width-out-of-range") << 99 << 0 << false;
    QTest::newRow("height-out-of-range") << 0 << 8 << false;
    QTest::newRow("width-negative") << -1 << 0 << false;
}

// The open flow loads stored indexes just before exec(); one out of range leaves an empty field.
void TestDialogs::indexesSetBeforeExec()
{
    QFETCH(int, widthIndex);
    QFETCH(int, heightIndex);
    QFETCH(bool, enabled);
    TParamDialog d(nullptr);
    d.WidthComboBox->setCurrentIndex(widthIndex);
    d.HeightComboBox->setCurrentIndex(heightIndex);
    bool okEnabled = !enabled;
    const int result = ExecWith(d, [&] {
        okEnabled = d.buttonBox->button(QDialogButtonBox::Ok)->isEnabled();
        d.buttonBox->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(okEnabled, enabled);
}

void TestDialogs::results_data()
{
    QTest::addColumn<bool>("gotoDialog");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expected");
    const std::pair<const char *, int> actions[] {
        {"ok", 1}, {"enter", 1}, {"cancel", 0}, {"escape", 0}, {"close", 0}};
    for (bool gotoDialog : {false, true})
        for (auto [action, expected] : actions)
            QTest::addRow("%s-%s", gotoDialog ? "goto" : "param", action)
                << gotoDialog << QString(action) << expected;
}

void TestDialogs::results()
{
    QFETCH(bool, gotoDialog);
    QFETCH(QString, action);
    QFETCH(int, expected);
    TParamDialog p(nullptr);
    TGotoDialog g(nullptr);
    QDialog &d = gotoDialog ? static_cast<QDialog &>(g) : p;
    QDialogButtonBox *buttons = gotoDialog ? g.buttonBox : p.buttonBox;
    QWidget *field = gotoDialog ? static_cast<QWidget *>(g.spinBox) : p.HeightComboBox;
    const int result = ExecWith(d, [&] {
        if (action == "ok") {
            buttons->button(QDialogButtonBox::Ok)->click();
        } else if (action == "cancel") {
            buttons->button(QDialogButtonBox::Cancel)->click();
        } else if (action == "close") {
            d.close();
        } else {
            field->setFocus();
            QTest::keyClick(field, action == "enter" ? Qt::Key_Return : Qt::Key_Escape);
        }
    });
    QCOMPARE(result, expected);
}

void TestDialogs::spinBoxesClamp_data()
{
    QTest::addColumn<bool>("gotoDialog");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("fps-zero") << false << 0 << 1;
    QTest::newRow("fps-negative") << false << -5 << 1;
    QTest::newRow("fps-25") << false << 25 << 25;
    QTest::newRow("fps-1000") << false << 1000 << 1000;
    QTest::newRow("fps-5000") << false << 5000 << 1000;
    QTest::newRow("goto-first-frame") << true << 0 << 0;
    QTest::newRow("goto-negative") << true << -1 << 0;
    QTest::newRow("goto-100000") << true << 100000 << 100000;
    QTest::newRow("goto-100001") << true << 100001 << 100000;
}

void TestDialogs::spinBoxesClamp()
{
    QFETCH(bool, gotoDialog);
    QFETCH(int, value);
    QFETCH(int, expected);
    TParamDialog p(nullptr);
    TGotoDialog g(nullptr);
    QSpinBox *spin = gotoDialog ? g.spinBox : p.FPSSpinBox;
    spin->setValue(value);
    QCOMPARE(spin->value(), expected);
}

namespace {
// Counts the mouse releases that travel on to it from its children.
class TReleaseCounter : public QWidget
{
public:
    int Releases = 0;

protected:
    // Takes the presses the label passes on, so only the releases are in question.
    void mousePressEvent(QMouseEvent *) override { }
    void mouseReleaseEvent(QMouseEvent *) override { ++Releases; }
};
} // namespace

void TestDialogs::activeLabelClicked_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("release");
    QTest::newRow("left-inside") << Qt::LeftButton << QPoint(7, 5);
    QTest::newRow("right-inside") << Qt::RightButton << QPoint(90, 15);
    QTest::newRow("middle-inside") << Qt::MiddleButton << QPoint(50, 10);
    QTest::newRow("left-outside") << Qt::LeftButton << QPoint(-30, 200);
    QTest::newRow("right-outside") << Qt::RightButton << QPoint(400, -12);
}

void TestDialogs::activeLabelClicked()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, release);
    TReleaseCounter window;
    window.setGeometry(120, 80, 300, 200);
    TActiveLabel label(&window);
    label.setGeometry(40, 60, 100, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy spy(&label, SIGNAL(Clicked(int, int)));
    QVERIFY(spy.isValid());

    for (int click = 1; click <= 2; ++click) {
        QTest::mousePress(&label, button, {}, QPoint(10, 10));
        QCOMPARE(spy.count(), click - 1);
        QTest::mouseRelease(&label, button, {}, release);
        QCOMPARE(spy.count(), click);
        const QPoint global = label.mapToGlobal(release);
        QCOMPARE(spy.last(), QList<QVariant>({global.x(), global.y()}));
    }
    QVERIFY(label.mapToGlobal(release) != release);
    QCOMPARE(window.Releases, 0);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
