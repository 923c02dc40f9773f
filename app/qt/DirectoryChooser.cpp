#include "DirectoryChooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace packsmith::qt {

namespace {

QStringList DriveRoots()
{
    QStringList roots{QDir::rootPath(), QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    return roots;
}

} // namespace

DirectoryChooser::DirectoryChooser(const QString& start, QWidget* parent)
    : QDialog(parent), model_(new QFileSystemModel(this)), drives_(new QComboBox(this)), tree_(new QTreeView(this)),
      name_(new QLineEdit(this))
{
    setWindowTitle("Select Directory");
    setObjectName("SelectDirectory");
    drives_->setObjectName("Drives");
    tree_->setObjectName("Directories");
    name_->setObjectName("DirectoryName");

    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column)
        tree_->hideColumn(column);
    drives_->addItems(DriveRoots());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* form = new QFormLayout;
    form->addRow("&Directory name:", name_);
    form->addRow("D&rive:", drives_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);
    resize(420, 380);

    connect(buttons, &QDialogButtonBox::accepted, this, &DirectoryChooser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DirectoryChooser::reject);
    connect(drives_, &QComboBox::textActivated, this, [this](const QString& root) { Browse(root); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            browsed_ = model_->filePath(index);
            name_->setText(QDir::toNativeSeparators(browsed_));
        }
    });

    ConfirmCreate = [this] {
        return QMessageBox::question(this, "Confirm", "The specified directory does not exist. Create it?",
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };

    const QString initial = start.isEmpty() ? QDir::currentPath() : start;
    Browse(initial);
    name_->setText(QDir::toNativeSeparators(initial));
    name_->setFocus();
    name_->selectAll();
}

void DirectoryChooser::Browse(const QString& directory)
{
    browsed_ = directory;
    const QModelIndex index = model_->index(directory);
    if (index.isValid()) {
        tree_->setCurrentIndex(index);
        tree_->scrollTo(index);
        tree_->expand(index);
    }
}

QString DirectoryChooser::Directory() const
{
    const QString text = QDir::fromNativeSeparators(name_->text());
    if (text.isEmpty() || QDir::isAbsolutePath(text))
        return text;
    return QDir(browsed_.isEmpty() ? QDir::currentPath() : browsed_).absoluteFilePath(text);
}

void DirectoryChooser::accept()
{
    const QString directory = Directory();
    if (directory.isEmpty())
        return;
    if (!QFileInfo(directory).isDir() && !(ConfirmCreate && ConfirmCreate()))
        return; // "No" returns to the chooser
    QDialog::accept();
}

std::optional<QString> DirectoryChooser::Choose(const QString& start, QWidget* parent)
{
    DirectoryChooser chooser(start, parent);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    return chooser.Directory();
}

} // namespace packsmith::qt
