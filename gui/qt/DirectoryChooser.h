#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QTreeView;

namespace packsmith::qt {

// The run's directory chooser: a drive list, a directory tree and an editable name field.
// Unlike the toolkit's own directory dialog it accepts a directory that does not exist yet,
// after asking whether to create it; the run then creates it.
class DirectoryChooser final : public QDialog {
    Q_OBJECT
public:
    DirectoryChooser(const QString& start, QWidget* parent = nullptr);

    // The name as the name field shows it, made absolute against the directory being
    // browsed when the user typed a relative one.
    QString Directory() const;

    static std::optional<QString> Choose(const QString& start, QWidget* parent);

    // Asked when OK is pressed for a directory that does not exist; true to create it.
    // Replaceable so that the question can be answered without a person.
    std::function<bool()> ConfirmCreate;

    void accept() override;

private:
    void Browse(const QString& directory);
    void ScrollToBrowsed();

    QFileSystemModel* model_;
    QComboBox* drives_;
    QTreeView* tree_;
    QLineEdit* name_;
    QString browsed_;
    QString pending_; // a directory to show once the model has loaded its way down to it
    bool browsing_ = false;
    bool scrollWanted_ = true;
};

} // namespace packsmith::qt
