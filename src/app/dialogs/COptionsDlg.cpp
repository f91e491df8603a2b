#include "app/dialogs/COptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

#include "app/dialogs/CPathDialog.h"

COptionsDlg::COptionsDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Options"));

    auto* general = new QGroupBox(QStringLiteral("General"), this);
    alwaysOnTopBox_ = new QCheckBox(QStringLiteral("Always on top (&A)"), general);
    channelTitleBox_ = new QCheckBox(QStringLiteral("Show channel title"), general);
    repeatBox_ = new QCheckBox(QStringLiteral("Repeat playback (&R)"), general);
    directDrawBox_ = new QCheckBox(QStringLiteral("Use DirectDraw"), general);
    directDrawBox_->setToolTip(QStringLiteral("Draw the video through the accelerated surface path"));
    exactStepsBox_ = new QCheckBox(QStringLiteral("Exact Steps"), general);
    exactStepsBox_->setToolTip(QStringLiteral("Previous Frame and reverse play up to x8 show every picture, "
                                              "not only key pictures"));
    auto* generalLayout = new QVBoxLayout(general);
    for (QCheckBox* box : {alwaysOnTopBox_, channelTitleBox_, repeatBox_, directDrawBox_, exactStepsBox_})
        generalLayout->addWidget(box);

    auto* formatGroup = new QGroupBox(QStringLiteral("On screen display date/time format"), this);
    formatBox_ = new QComboBox(formatGroup);
    formatBox_->setEditable(true);
    formatBox_->setInsertPolicy(QComboBox::NoInsert);
    formatBox_->addItems(TimeFormats());
    formatBox_->setAccessibleName(QStringLiteral("On screen display date/time format"));
    preview_ = new QLabel(formatGroup);
    preview_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    preview_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    preview_->setMinimumHeight(24);
    preview_->setAccessibleName(QStringLiteral("Preview"));
    auto* formatLayout = new QVBoxLayout(formatGroup);
    formatLayout->addWidget(formatBox_);
    formatLayout->addWidget(preview_);

    auto* pathGroup = new QGroupBox(QStringLiteral("Path for still capture"), this);
    pathEdit_ = new QLineEdit(pathGroup);
    pathEdit_->setAccessibleName(QStringLiteral("Path for still capture"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), pathGroup);
    auto* pathLayout = new QHBoxLayout(pathGroup);
    pathLayout->addWidget(pathEdit_, 1);
    pathLayout->addWidget(browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(formatGroup);
    layout->addWidget(pathGroup);
    layout->addWidget(buttons);
    setMinimumWidth(420);

    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);
    connect(browse, &QPushButton::clicked, this, &COptionsDlg::Browse);
    // A chosen entry and typed text both preview at once.
    connect(formatBox_, &QComboBox::currentTextChanged, this, &COptionsDlg::UpdatePreview);
}

QStringList COptionsDlg::TimeFormats() {
    return {QStringLiteral("%Y/%m/%d %H:%M:%S"),    QStringLiteral("%y/%m/%d  %H:%M:%S"),
            QStringLiteral("%Y/%m/%d %p %I:%M:%S"), QStringLiteral("%y/%m/%d  %p %I:%M:%S"),
            QStringLiteral("%b %d %H:%M:%S %Y"),    QStringLiteral("%b %d %p %I:%M:%S %Y")};
}

QString COptionsDlg::FormatPreview(const QString& format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || !::localtime_r(&now, &local))
        return {};
    const QByteArray f = format.toLocal8Bit();
    char text[129];
    const size_t n = std::strftime(text, sizeof text, f.constData(), &local);
    if (n == 0)
        return {};
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
}

void COptionsDlg::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        FieldsToControls();
    }
    QDialog::showEvent(event);
}

void COptionsDlg::FieldsToControls() {
    alwaysOnTopBox_->setChecked(alwaysOnTop);
    channelTitleBox_->setChecked(showChannelTitle);
    repeatBox_->setChecked(repeat);
    directDrawBox_->setChecked(useDirectDraw);
    exactStepsBox_->setChecked(exactSteps);
    formatBox_->setEditText(timeFormat);
    pathEdit_->setText(capturePath);
    UpdatePreview(timeFormat);
}

void COptionsDlg::ControlsToFields() {
    alwaysOnTop = alwaysOnTopBox_->isChecked();
    showChannelTitle = channelTitleBox_->isChecked();
    repeat = repeatBox_->isChecked();
    useDirectDraw = directDrawBox_->isChecked();
    exactSteps = exactStepsBox_->isChecked();
    timeFormat = formatBox_->currentText();
    capturePath = pathEdit_->text();
}

void COptionsDlg::UpdatePreview(const QString& format) { preview_->setText(FormatPreview(format)); }

void COptionsDlg::Browse() {
    // Only the path changes; every other control keeps what the user set.
    CPathDialog picker(QStringLiteral("Find Folder"), QStringLiteral("Select Folder"), pathEdit_->text(), this);
    if (picker.DoModal() == QDialog::Accepted)
        pathEdit_->setText(picker.GetPathName());
}

void COptionsDlg::accept() {
    ControlsToFields();
    QDialog::accept();
}
