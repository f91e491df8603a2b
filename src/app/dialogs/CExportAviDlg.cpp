#include "app/dialogs/CExportAviDlg.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "export/EncoderRegistry.h"
#include "media/ByteSource.h"
#include "platform/MessagePort.h"

namespace {

constexpr int kProgressSteps = 1000;  // the bar counts tenths of a percent, whatever the size
constexpr int kSampledBlocks = 256;   // block headers read to learn the recorded channels

// The dialog's own port: message boxes on the user-interface thread. A text
// from another thread is queued to it, never blocking that thread; a
// question from another thread is answered no.
class DialogMessagePort final : public zo::platform::MessagePort {
public:
    explicit DialogMessagePort(QWidget* parent) : parent_(parent) {}
    void Show(std::string_view text) override {
        const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        QWidget* parent = parent_;
        if (QThread::currentThread() == parent->thread())
            QMessageBox::warning(parent, parent->windowTitle(), t);
        else
            QMetaObject::invokeMethod(
                parent, [parent, t] { QMessageBox::warning(parent, parent->windowTitle(), t); },
                Qt::QueuedConnection);
    }
    bool Ask(std::string_view question) override {
        asked_ = true;
        if (QThread::currentThread() != parent_->thread())
            return yes_ = false;
        const QString q = QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size()));
        yes_ = QMessageBox::question(parent_, parent_->windowTitle(), q, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
        return yes_;
    }
    bool Refused() const { return asked_ && !yes_; }
    void Clear() { asked_ = yes_ = false; }

private:
    QWidget* parent_;
    bool asked_ = false;
    bool yes_ = false;
};

// Why `name` cannot be created, or "" when it can (nothing is left behind).
std::string CreateProblem(const std::string& name) {
    const bool existed = ::access(name.c_str(), F_OK) == 0;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    if (!existed)
        ::unlink(name.c_str());
    return {};
}

}  // namespace

CExportAviDlg::CExportAviDlg(QWidget* owner, zo::platform::MessagePort* messages)
    : QDialog(owner),
      ownPort_(messages ? nullptr : std::make_unique<DialogMessagePort>(this)),
      messages_(messages ? messages : ownPort_.get()),
      engine_(messages_) {
    setWindowTitle(QStringLiteral("Export To AVI"));

    // Channels 1-8 in the first row, 9-16 in the second.
    auto* channelsLabel = new QLabel(QStringLiteral("&Export Channel"), this);
    auto* channelGrid = new QGridLayout;
    channelGrid->setHorizontalSpacing(10);
    for (int i = 0; i < zo::exporter::kExportChannels; ++i) {
        auto* box = new QCheckBox(QString::number(i + 1), this);
        box->setAccessibleName(QStringLiteral("Channel %1").arg(i + 1));
        channelGrid->addWidget(box, i / 8, i % 8);
        channelBoxes_[static_cast<size_t>(i)] = box;
    }
    channelGrid->setColumnStretch(8, 1);  // the boxes stay together at the left
    channelsLabel->setBuddy(channelBoxes_[0]);
    audioBox_ = new QCheckBox(QStringLiteral("Audio"), this);

    inputEdit_ = new QLineEdit(this);
    inputBrowse_ = new QPushButton(QStringLiteral("Browse..."), this);
    inputBrowse_->setAccessibleName(QStringLiteral("Browse input"));
    outputEdit_ = new QLineEdit(this);
    outputBrowse_ = new QPushButton(QStringLiteral("Browse..."), this);
    outputBrowse_->setAccessibleName(QStringLiteral("Browse output"));
    auto* inputLabel = new QLabel(QStringLiteral("&Input File"), this);
    inputLabel->setBuddy(inputEdit_);
    inputEdit_->setAccessibleName(QStringLiteral("Input File"));
    auto* outputLabel = new QLabel(QStringLiteral("&Output File"), this);
    outputLabel->setBuddy(outputEdit_);
    outputEdit_->setAccessibleName(QStringLiteral("Output File"));

    preview_ = new QLabel(this);
    preview_->setFixedSize(272, 190);
    preview_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setStyleSheet(QStringLiteral("background: black;"));
    preview_->setAccessibleName(QStringLiteral("Preview"));

    auto* files = new QGridLayout;
    files->addWidget(inputLabel, 0, 0, 1, 2);
    files->addWidget(inputEdit_, 1, 0);
    files->addWidget(inputBrowse_, 1, 1);
    files->addWidget(outputLabel, 2, 0, 1, 2);
    files->addWidget(outputEdit_, 3, 0);
    files->addWidget(outputBrowse_, 3, 1);
    files->setRowStretch(4, 1);
    files->setColumnMinimumWidth(0, 300);
    auto* middle = new QHBoxLayout;
    middle->addWidget(preview_);
    middle->addLayout(files, 1);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, kProgressSteps);
    progress_->setTextVisible(false);
    auto* progressLabel = new QLabel(QStringLiteral("&Progress"), this);
    progressLabel->setBuddy(progress_);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    percent_ = new QLabel(QStringLiteral("0%"), this);
    percent_->setMinimumWidth(48);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_->setAccessibleName(QStringLiteral("Percent"));
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(percent_);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(channelsLabel);
    layout->addLayout(channelGrid);
    layout->addWidget(audioBox_);
    layout->addLayout(middle);
    layout->addWidget(progressLabel);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);

    // Opening: channels 1-4 and sound chosen, the others hidden until a
    // recording shows it holds them; OK waits for an input.
    for (int i = 0; i < zo::exporter::kExportChannels; ++i) {
        channelBoxes_[static_cast<size_t>(i)]->setChecked(i < 4);
        channelBoxes_[static_cast<size_t>(i)]->setVisible(i < 4);
    }
    audioBox_->setChecked(true);
    okButton_->setEnabled(false);

    connect(inputBrowse_, &QPushButton::clicked, this, &CExportAviDlg::BrowseInput);
    connect(outputBrowse_, &QPushButton::clicked, this, &CExportAviDlg::BrowseOutput);
    connect(inputEdit_, &QLineEdit::editingFinished, this, [this] {
        if (inputEdit_->isModified() && !inputEdit_->text().isEmpty()) {
            inputEdit_->setModified(false);
            inputPath = inputEdit_->text();
            InputChosen();
        }
    });
    connect(okButton_, &QPushButton::clicked, this, &CExportAviDlg::StartExport);
    connect(cancelButton_, &QPushButton::clicked, this, &CExportAviDlg::reject);

    timer_ = new QTimer(this);
    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, &CExportAviDlg::Tick);
}

CExportAviDlg::~CExportAviDlg() {
    engine_.Stop();  // the engine's destructor then completes the files
}

void CExportAviDlg::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        engine_.Configure(videoCode, audioCode, 4, 16000, 4);
        engine_.SetPreview(true);
        engine_.SetTimeText(true);
        outputEdit_->setText(outputPath);
        if (!inputPath.isEmpty()) {
            inputEdit_->setText(inputPath);
            InputChosen();
        }
        timer_->start();
    }
    QDialog::showEvent(event);
}

uint32_t CExportAviDlg::ChannelsInRecording(const QString& path, int videoCode) {
    // The recorded-channel bits of block headers spread over the recording:
    // quick on a recording of any size.
    zo::media::OpenStatus status = zo::media::OpenStatus::CannotOpen;
    auto source = zo::media::FileSource::Open(QFile::encodeName(path).toStdString(), status);
    if (!source)
        return 0;
    const uint64_t blocks = source->Size() / zo::media::kBlockSize;
    if (blocks == 0)
        return 0;
    const uint64_t step = blocks > kSampledBlocks ? blocks / kSampledBlocks : 1;
    uint8_t header[8];
    uint32_t bits = 0;
    for (uint64_t b = 0; b < blocks; b += step) {
        if (source->ReadAt(b * zo::media::kBlockSize, header, sizeof header) != sizeof header)
            continue;
        const zo::media::BlockHeader h = zo::media::DecodeBlockHeader(header, videoCode);
        if (h.valid)
            bits |= h.channelBits;
    }
    return bits;
}

void CExportAviDlg::BrowseInput() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open"), inputEdit_->text(),
        QStringLiteral("All Files (*);;ZRF File Format (*.ZRF *.zrf *.Zrf)"));
    if (path.isEmpty())
        return;
    inputPath = path;
    inputEdit_->setText(path);
    InputChosen();
}

void CExportAviDlg::InputChosen() {
    outputPath = outputEdit_->text();
    if (outputPath.isEmpty())
        outputPath = QString::fromStdString(zo::exporter::CZoConverter::DefaultOutputName(inputPath.toStdString()));
    outputEdit_->setText(outputPath);
    // Channels 5-16 appear for what this recording holds; 1-4 always.
    const uint32_t present = ChannelsInRecording(inputPath, videoCode);
    for (int i = 4; i < zo::exporter::kExportChannels; ++i) {
        QCheckBox* box = channelBoxes_[static_cast<size_t>(i)];
        const bool shown = (present & (1u << i)) != 0;
        if (!shown)
            box->setChecked(false);
        box->setVisible(shown);
    }
    zo::exporter::PrepareEncoder();
    okButton_->setEnabled(true);
}

void CExportAviDlg::BrowseOutput() {
    QString start = outputEdit_->text();
    if (start.isEmpty())
        start = QStringLiteral("CAPTURE.AVI");
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), start,
                                                      QStringLiteral("AVI File Format (*.AVI *.avi)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    // The engine asks before replacing the per-channel files it writes.
    outputPath = path;
    outputEdit_->setText(path);
}

void CExportAviDlg::StartExport() {
    zo::exporter::EnterWorkDirectory();
    inputPath = inputEdit_->text();
    outputPath = outputEdit_->text();
    uint32_t mask = 0;
    for (int i = 0; i < zo::exporter::kExportChannels; ++i)
        if (channelBoxes_[static_cast<size_t>(i)]->isChecked())
            mask |= 1u << i;
    engine_.SetChannelMask(mask);
    engine_.SetExportAudio(audioBox_->isChecked() ? 1 : 0);
    if (inputPath.isEmpty() || outputPath.isEmpty() || Exporting())
        return;

    okButton_->setEnabled(false);
    cancelButton_->setEnabled(false);
    if (ownPort_)
        static_cast<DialogMessagePort*>(ownPort_.get())->Clear();
    const std::string input = inputPath.toStdString();
    const std::string output = outputPath.toStdString();
    const bool opened = engine_.OpenSource(input) != 0;
    const bool prepared = opened && engine_.OpenOutputFile(output) != 0;
    cancelButton_->setEnabled(true);
    if (!prepared) {
        okButton_->setEnabled(true);
        const bool refused = ownPort_ && static_cast<DialogMessagePort*>(ownPort_.get())->Refused();
        if (opened && !refused) {
            // Name the file that cannot be created and why.
            for (int i = 0; i < zo::exporter::kExportChannels; ++i) {
                if (!(mask & (1u << i)))
                    continue;
                const std::string name = zo::exporter::CZoConverter::OutputName(output, i);
                const std::string problem = CreateProblem(name);
                if (!problem.empty()) {
                    messages_->Show("Cannot create the file:\n\n" + name + "\n\n" + problem);
                    return;
                }
            }
        }
        return;
    }
    for (QCheckBox* box : channelBoxes_)
        box->setEnabled(false);
    SetControlsEnabled(false);
    progress_->setValue(0);
    exportSize_ = engine_.GetSize();
    started_ = engine_.Start() == 1;
    if (!started_) {
        SetControlsEnabled(true);
        for (QCheckBox* box : channelBoxes_)
            box->setEnabled(true);
        messages_->Show("The export could not be started.");
    }
}

void CExportAviDlg::SetControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{audioBox_, inputEdit_, outputEdit_, inputBrowse_,
                                                      outputBrowse_, okButton_})
        w->setEnabled(enabled);
}

void CExportAviDlg::ShowPercent(int percent) {
    percent_->setText(QString::asprintf("%3d%%", percent));
}

void CExportAviDlg::Tick() {
    if (!started_)
        return;
    const bool finished = engine_.IsFinished() != 0;
    const uint64_t size = exportSize_;
    const uint64_t position = finished ? size : engine_.GetPosition();
    const int percent = zo::exporter::CZoConverter::PercentDone(position, size);
    ShowPercent(percent);
    progress_->setValue(size ? static_cast<int>(static_cast<unsigned __int128>(position < size ? position : size) *
                                                kProgressSteps / size)
                             : 0);
    int width = 0, height = 0;
    if (engine_.TakePreview(previewPixels_, width, height) && width > 0 && height > 0) {
        // 24-bit bottom-up rows: mirrored to top-down, scaled into the frame.
        const QImage picture(previewPixels_.data(), width, height, width * 3, QImage::Format_BGR888);
        preview_->setPixmap(QPixmap::fromImage(picture.mirrored(false, true))
                                .scaled(preview_->contentsRect().size(), Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation));
    }
    if (finished) {
        timer_->stop();
        started_ = false;
        engine_.Stop();
        QMessageBox::information(this, windowTitle(), QStringLiteral("Export Complete"));
        reject();
    }
}

void CExportAviDlg::reject() {
    // Stops a running export after its current picture; the files are
    // completed when the dialog (and its engine) is destroyed.
    engine_.Stop();
    zo::exporter::FreeOptions();
    timer_->stop();
    QDialog::reject();
}
