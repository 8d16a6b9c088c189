#ifndef TPARAMDIALOG_H
#define TPARAMDIALOG_H

#include <QDialog>
#include <QIntValidator>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QShowEvent;
class QSpinBox;

// Validator of a picture size field: plain ASCII digits whose value never exceeds the top, so a
// size too large for the frame buffers cannot even be typed. Text below the bottom (empty, "0")
// is Intermediate: it may stand in the field but is never confirmed into the list.
class TSizeValidator : public QIntValidator
{
    Q_OBJECT

public:
    TSizeValidator(int Bottom, int Top, QObject *parent);

    State validate(QString &input, int &pos) const override;
};

// The stream parameters dialog: picture width and height, chroma layout and frame rate. The
// caller loads and reads the values through the public widget members.
class TParamDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TParamDialog(QWidget *parent);
    ~TParamDialog() override;

    QDialogButtonBox *buttonBox;
    QSpinBox *FPSSpinBox;
    QLabel *WidthLabel;
    QLabel *HeightLabel;
    QLabel *FPSLabel;
    QLabel *YUVFormatLabel;
    QComboBox *comboBox;
    QComboBox *WidthComboBox;
    QComboBox *HeightComboBox;

protected:
    void showEvent(QShowEvent *e) override;

private slots:
    // Enables OK only while both size fields hold a size the frame buffers can take.
    void UpdateOkButton();
};

// The go-to-frame dialog: a frame number and, beside it, the last frame index.
class TGotoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TGotoDialog(QWidget *parent);
    ~TGotoDialog() override;

    QDialogButtonBox *buttonBox;
    QLabel *label;
    QSpinBox *spinBox;
};

#endif // TPARAMDIALOG_H
