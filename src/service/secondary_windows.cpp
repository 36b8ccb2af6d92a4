#include "service/secondary_windows.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "service/service_layout.h"

namespace {

struct Control {
    QPushButton* TfUserCalibration::*member;
    const char* objectName;
    const char* caption;
};
constexpr Control kCalibrationButtons[] = {
    {&TfUserCalibration::btStartPrime, "btStartPrime", "Start Prime"},
    {&TfUserCalibration::btPrimeOK, "btPrimeOK", "Prime OK"},
    {&TfUserCalibration::btStartPump, "btStartPump", "Start Calibration (10 min)"},
    {&TfUserCalibration::btVerify, "btVerify", "Verify calibration (10 min)"},
    {&TfUserCalibration::btStopPump, "btStopPump", "Abort"},
};
constexpr Control kDownloadButtons[] = {
    {&TfUserCalibration::btDlUserCalib, "btDlUserCalib", "Download user calibration"},
    {&TfUserCalibration::btRestoreDefaultUserCalib, "btRestoreDefaultUserCalib",
     "Restore default user calibration"},
};

QLabel* readout(QWidget* parent, const char* objectName, const char* text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

// A caption tied to the control it names.
void addRow(QFormLayout* form, QWidget* parent, const char* caption, QWidget* field) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(field);
    form->addRow(label, field);
}

}  // namespace

// --- ModalToolWindow ---

ModalToolWindow::ModalToolWindow(const QString& formName, const QString& caption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(formName);
    setWindowTitle(caption);
    setModal(true);
}

void ModalToolWindow::reject() {
    if (closing_ || (closeQuery && !closeQuery())) {
        return;
    }
    finishClose(QDialog::Rejected);
}

void ModalToolWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (closeQuery && !closeQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    finishClose(QDialog::Rejected);
}

void ModalToolWindow::closeWithResult(int result) {
    if (!closing_) {
        finishClose(result);
    }
}

void ModalToolWindow::finishClose(int result) {
    closing_ = true;
    QDialog::done(result);
    if (onClosed) {
        onClosed();
    }
    closing_ = false;
}

// --- TfUserCalibration ---

TfUserCalibration::TfUserCalibration(QWidget* parent)
    : ModalToolWindow("fUserCalibration", "User Calibration", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* sequence = new QGroupBox("Calibration Sequence", this);
    sequence->setObjectName("gbCalibrationSequence");
    auto* form = new QFormLayout(sequence);
    auto makeButton = [sequence, this](const Control& c) {
        auto* button = new QPushButton(c.caption, sequence);
        button->setObjectName(c.objectName);
        button->setAccessibleName(c.caption);
        this->*c.member = button;
        return button;
    };
    for (const Control& c : kCalibrationButtons) {
        form->addRow(makeButton(c));
    }
    lTime = readout(sequence, "lTime", "10:00");
    addRow(form, sequence, "Time left [mm:ss]", lTime);

    auto* mass = new QGroupBox("Dosed water mass [g]", sequence);
    mass->setObjectName("gbDosedWaterMass");
    auto* massForm = new QFormLayout(mass);
    lUserCalibration = readout(mass, "lUserCalibration", "?");
    addRow(massForm, mass, "Actual value", lUserCalibration);
    auto* entry = new QWidget(mass);
    auto* entryRow = new QHBoxLayout(entry);
    entryRow->setContentsMargins(0, 0, 0, 0);
    eVolume = new QLineEdit(user_calibration_run::kDefaultMass, entry);
    eVolume->setObjectName("eVolume");
    eVolume->setAccessibleName("New value");
    lCatVolRange = readout(entry, "lCatVolRange", "(500..2047 g)");
    eVolume->setAccessibleDescription(lCatVolRange->text());
    entryRow->addWidget(eVolume);
    entryRow->addWidget(lCatVolRange);
    auto* newValue = new QLabel("New value", mass);
    newValue->setBuddy(eVolume);
    massForm->addRow(newValue, entry);
    form->addRow(mass);
    for (const Control& c : kDownloadButtons) {
        form->addRow(makeButton(c));
    }
    layout->addWidget(sequence);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName("Instructions");
    Memo1->setMinimumHeight(90);
    layout->addWidget(Memo1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(service_timing::kCalibrationTickMs);
}

QList<QPushButton*> TfUserCalibration::buttons() const {
    QList<QPushButton*> all;
    for (const Control& c : kCalibrationButtons) {
        all << this->*c.member;
    }
    for (const Control& c : kDownloadButtons) {
        all << this->*c.member;
    }
    return all;
}

// --- TfPurge ---

TfPurge::TfPurge(QWidget* parent) : ModalToolWindow("fPurge", "Purge in progress", parent) {
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel("The pump is purging - Please wait", this));
    lPurgeTime = readout(this, "lPurgeTime", "30 s");
    lPurgeTime->installEventFilter(this);
    addRow(form, this, "This window closes in", lPurgeTime);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
}

bool TfPurge::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lPurgeTime && event->type() == QEvent::MouseButtonRelease && onTimeClicked) {
        onTimeClicked();
        return true;
    }
    return ModalToolWindow::eventFilter(watched, event);
}
