#include "gui/qt/DirectoryChooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTimer>
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
    connect(drives_, &QComboBox::textActivated, this, [this](const QString& root) {
        Browse(root);
        name_->setText(QDir::toNativeSeparators(root));
    });
    // The model reads directories in the background: the directory being browsed is shown
    // once the levels above it have been read, and scrolled to as rows arrive, until the
    // user takes over.
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (pending_.isEmpty())
            return;
        const QString target = pending_;
        Browse(target);
        if (loaded == QFileInfo(target).absolutePath() || loaded == QDir::cleanPath(target))
            pending_.clear();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, &DirectoryChooser::ScrollToBrowsed);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &DirectoryChooser::ScrollToBrowsed);
    const auto userTookOver = [this] {
        if (!browsing_) {
            pending_.clear();
            scrollWanted_ = false;
        }
    };
    connect(tree_, &QTreeView::expanded, this, userTookOver);
    connect(tree_, &QTreeView::collapsed, this, userTookOver);
    connect(tree_->verticalScrollBar(), &QScrollBar::actionTriggered, this, userTookOver);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, userTookOver](const QModelIndex& index) {
                if (!index.isValid() || browsing_)
                    return;
                userTookOver();
                browsed_ = model_->filePath(index);
                name_->setText(QDir::toNativeSeparators(browsed_));
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
    pending_ = directory;
    scrollWanted_ = true;
    const QModelIndex index = model_->index(directory);
    if (!index.isValid())
        return;
    // Showing the directory must not overwrite what the user may have typed meanwhile.
    browsing_ = true;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        tree_->expand(parent);
    tree_->setCurrentIndex(index);
    browsing_ = false;
    ScrollToBrowsed();
}

// The model adds and sorts rows after the view has been asked to show one, so the request
// is repeated whenever rows arrive.
void DirectoryChooser::ScrollToBrowsed()
{
    QTimer::singleShot(0, this, [this] {
        if (!scrollWanted_)
            return;
        const QModelIndex index = model_->index(browsed_);
        if (index.isValid())
            tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
    });
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
