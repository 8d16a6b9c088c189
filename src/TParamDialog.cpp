#include "TParamDialog.h"

#include "YUVConversion.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <utility>

namespace {

constexpr int MaxSizeEntries = 32;

// Reads a size field the way the caller does: the current text as a base-10 number.
bool HoldsSize(const QComboBox *box, int max)
{
    bool ok = false;
    const int value = box->currentText().toInt(&ok);
    return ok && value >= 1 && value <= max;
}

void SetUpSizeBox(QComboBox *box, QValidator *validator, const QStringList &presets)
{
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::InsertAtTop);
    box->setMaxCount(MaxSizeEntries);
    box->setValidator(validator);
    box->setDuplicatesEnabled(false);
    box->clear();
    box->addItems(presets);
}

// A child widget of the dialog with its object name, placed at a fixed spot.
template<typename T> T *NewChild(QDialog *d, const char *name, QRect geometry)
{
    auto *widget = new T(d);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

// What both dialogs are built on: a window-modal dialog of one fixed size, with OK and Cancel
// at the given place accepting and rejecting it. Returns the button box.
QDialogButtonBox *SetUpFixedDialog(QDialog *d, const char *name, QSize size, QRect buttons)
{
    if (d->objectName().isEmpty())
        d->setObjectName(name);
    d->setWindowModality(Qt::WindowModal);
    d->resize(size);
    d->setMinimumSize(size);
    d->setMaximumSize(size);

    auto *box = NewChild<QDialogButtonBox>(d, "buttonBox", buttons);
    box->setOrientation(Qt::Horizontal);
    box->setStandardButtons(QDialogButtonBox::Cancel | QDialogButtonBox::Ok);
    QObject::connect(box, SIGNAL(accepted()), d, SLOT(accept()));
    QObject::connect(box, SIGNAL(rejected()), d, SLOT(reject()));
    return box;
}

} // namespace

TSizeValidator::TSizeValidator(int Bottom, int Top, QObject *parent)
    : QIntValidator(Bottom, Top, parent)
{ }

QValidator::State TSizeValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    // Digits only: no sign, group separator, space or locale digits, because the caller converts
    // the text with a plain base-10 toInt().
    long long value = 0;
    for (const QChar c : std::as_const(input)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
        value = value * 10 + (c.unicode() - '0');
        if (value > top())
            return Invalid;
    }
    if (input.isEmpty() || value < bottom())
        return Intermediate;
    return Acceptable;
}

TParamDialog::TParamDialog(QWidget *parent)
    : QDialog(parent)
{
    buttonBox = SetUpFixedDialog(this, "ParametersDialog", {220, 320}, {10, 270, 191, 32});

    QValidator *widthValidator = new TSizeValidator(1, yuv::MaxWidth, this);
    QValidator *heightValidator = new TSizeValidator(1, yuv::MaxHeight, this);

    WidthComboBox = NewChild<QComboBox>(this, "WidthComboBox", {40, 40, 141, 27});
    SetUpSizeBox(
        WidthComboBox, widthValidator, {"176", "320", "480", "704", "720", "1280", "1920"});

    HeightComboBox = NewChild<QComboBox>(this, "HeightComboBox", {40, 100, 141, 27});
    SetUpSizeBox(
        HeightComboBox, heightValidator, {"144", "240", "360", "480", "486", "576", "720", "1080"});

    FPSSpinBox = NewChild<QSpinBox>(this, "FPSSpinBox", {40, 220, 141, 28});
    FPSSpinBox->setMinimum(1);
    FPSSpinBox->setMaximum(1000);

    WidthLabel = NewChild<QLabel>(this, "WidthLabel", {40, 20, 62, 18});
    WidthLabel->setFrameShape(QFrame::NoFrame);
    WidthLabel->setLineWidth(0);

    HeightLabel = NewChild<QLabel>(this, "HeightLabel", {40, 80, 62, 18});
    HeightLabel->setTextFormat(Qt::RichText);

    FPSLabel = NewChild<QLabel>(this, "FPSLabel", {40, 200, 141, 18});

    YUVFormatLabel = NewChild<QLabel>(this, "YUVFormatLabel", {40, 140, 111, 18});

    comboBox = NewChild<QComboBox>(this, "comboBox", {40, 160, 141, 27});
    comboBox->setEditable(false);
    comboBox->addItems({"YUV 420", "YUV 422", "YUV 444"});
    comboBox->setCurrentIndex(0);
    comboBox->setInsertPolicy(QComboBox::NoInsert);

    setWindowTitle(QCoreApplication::translate("ParametersDialog", "Parameters"));
    WidthLabel->setText(QCoreApplication::translate("ParametersDialog", "Width"));
    HeightLabel->setText(QCoreApplication::translate("ParametersDialog", "Height"));
    FPSLabel->setText(QCoreApplication::translate("ParametersDialog", "Frames per second"));
    YUVFormatLabel->setText(QCoreApplication::translate("ParametersDialog", "YUV format"));

    // The caller converts the size texts without checking them, so OK must not be reachable
    // while either holds something other than a size the frame buffers can take.
    for (QComboBox *box : {WidthComboBox, HeightComboBox}) {
        connect(box, SIGNAL(editTextChanged(QString)), this, SLOT(UpdateOkButton()));
        connect(box, SIGNAL(currentTextChanged(QString)), this, SLOT(UpdateOkButton()));
    }
    UpdateOkButton();
}

TParamDialog::~TParamDialog() = default;

void TParamDialog::showEvent(QShowEvent *e)
{
    // The caller sets the current indexes just before exec(); an index out of range leaves an
    // empty text, so judge the fields again as they are shown.
    UpdateOkButton();
    QDialog::showEvent(e);
}

void TParamDialog::UpdateOkButton()
{
    buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(
            HoldsSize(WidthComboBox, yuv::MaxWidth) && HoldsSize(HeightComboBox, yuv::MaxHeight));
}

TGotoDialog::TGotoDialog(QWidget *parent)
    : QDialog(parent)
{
    buttonBox = SetUpFixedDialog(this, "Dialog", {200, 90}, {10, 50, 171, 32});

    label = NewChild<QLabel>(this, "label", {130, 16, 101, 20});

    spinBox = NewChild<QSpinBox>(this, "spinBox", {10, 10, 111, 28});
    // Frame indexes are 0-based: the first frame must be reachable.
    spinBox->setMinimum(0);
    spinBox->setMaximum(100000);

    setWindowTitle(QCoreApplication::translate("Dialog", "Goto frame #"));
    label->setText(QCoreApplication::translate("Dialog", "Of 0"));

    QMetaObject::connectSlotsByName(this);
}

TGotoDialog::~TGotoDialog() = default;
