#include "app/dialogs/CPathDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/FolderRules.h"

namespace {

// Our own browser where the desktop offers no folder dialog: the prompt, a
// tree of folders, the path edit the user can type into, OK and Cancel. OK
// is enabled while the edit holds text and validates before closing.
class FolderBrowser final : public QDialog {
public:
    FolderBrowser(QWidget* owner, const QString& caption, const QString& prompt, const QString& start,
                  const QString& text)
        : QDialog(owner) {
        setWindowTitle(caption);
        model_.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        model_.setRootPath(QStringLiteral("/"));
        tree_ = new QTreeView(this);
        tree_->setModel(&model_);
        for (int column = 1; column < model_.columnCount(); ++column)
            tree_->hideColumn(column);
        tree_->header()->hide();
        tree_->setAccessibleName(QStringLiteral("Folders"));
        edit_ = new QLineEdit(text, this);
        auto* promptLabel = new QLabel(prompt, this);
        auto* editLabel = new QLabel(QStringLiteral("&Folder:"), this);
        editLabel->setBuddy(edit_);
        edit_->setAccessibleName(QStringLiteral("Folder"));
        buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(promptLabel);
        layout->addWidget(tree_, 1);
        layout->addWidget(editLabel);
        layout->addWidget(edit_);
        layout->addWidget(buttons_);
        resize(420, 460);

        const QModelIndex index = model_.index(start);
        if (index.isValid()) {
            tree_->setCurrentIndex(index);
            tree_->scrollTo(index);
        }
        connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current) { edit_->setText(model_.filePath(current)); });
        connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
            buttons_->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
        });
        buttons_->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
        connect(buttons_, &QDialogButtonBox::accepted, this, &FolderBrowser::accept);
        connect(buttons_, &QDialogButtonBox::rejected, this, &FolderBrowser::reject);
        edit_->setFocus();
    }

    void accept() override {
        const QString path = edit_->text().left(4096);
        if (CPathDialog::ValidateFolder(path, this) != 0) {
            edit_->setFocus();
            return;
        }
        chosen = path;
        QDialog::accept();
    }

    QString chosen;

private:
    QFileSystemModel model_;
    QTreeView* tree_;
    QLineEdit* edit_;
    QDialogButtonBox* buttons_;
};

}  // namespace

CPathDialog::CPathDialog(QString caption, QString prompt, QString initialFolder, QWidget* owner)
    : caption_(std::move(caption)), prompt_(std::move(prompt)), initial_(std::move(initialFolder)), owner_(owner) {}

bool CPathDialog::UsesNativeDialog() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int CPathDialog::DoModal() {
    // The tree opens on the initial folder, or on its nearest existing
    // parent, or on the current folder; the path edit shows the initial folder.
    QString start = initial_;
    while (!start.isEmpty() && !QDir(start).exists() && start != QStringLiteral("/"))
        start = QFileInfo(start).path();
    if (start.isEmpty() || !QDir(start).exists() || !QDir::isAbsolutePath(start))
        start = QDir::currentPath();
    if (!UsesNativeDialog()) {
        FolderBrowser browser(owner_, caption_, prompt_, start, initial_.isEmpty() ? start : initial_);
        if (browser.exec() != QDialog::Accepted)
            return QDialog::Rejected;
        path_ = browser.chosen;
        return QDialog::Accepted;
    }
    // The desktop's dialog has closed when it returns: an unusable path
    // opens it again on that path, which is how the picker stays open.
    for (;;) {
        QFileDialog dialog(owner_, caption_, start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setLabelText(QFileDialog::FileName, prompt_ + QLatin1Char(':'));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
        if (dialog.exec() != QDialog::Accepted)
            return QDialog::Rejected;
        QString path = dialog.selectedFiles().value(0);
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (!path.isEmpty() && ValidateFolder(path, owner_) == 0) {
            path_ = path;
            return QDialog::Accepted;
        }
        if (!path.isEmpty())
            start = path;
    }
}

int CPathDialog::ValidateFolder(const QString& path, QWidget* parent) {
    const QByteArray bytes = QFile::encodeName(path);
    const std::string_view p(bytes.constData(), static_cast<size_t>(bytes.size()));
    const QString invalid =
        QStringLiteral("The folder:\n\n%1\n\nis invalid. Please reenter.").arg(path);
    if (zo::platform::CheckFolderPath(p, true) != zo::platform::kFolderGood) {
        QMessageBox::warning(parent, QStringLiteral("Find Folder"), invalid);
        return zo::platform::kFolderInvalid;
    }
    if (QFileInfo(path).isDir())
        return 0;
    const auto answer = QMessageBox::question(
        parent, QStringLiteral("Find Folder"),
        QStringLiteral("The folder:\n\n%1\n\ndoes not exist. Do you want the folder to be created?").arg(path),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return 3;
    const int result = zo::platform::CheckFolderPath(p, false);
    if (result == zo::platform::kFolderInvalid)
        QMessageBox::warning(parent, QStringLiteral("Find Folder"), invalid);
    else if (result == zo::platform::kFolderNotCreated)
        QMessageBox::warning(
            parent, QStringLiteral("Find Folder"),
            QStringLiteral("The folder:\n\n%1\n\ncan not be created. Please double check.").arg(path));
    return result;
}
