#include "app/qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/qt/DirectoryChooser.h"
#include "app/FormatTable.h"
#include "app/qt/QtText.h"

namespace packsmith::qt {

namespace {

std::optional<std::string> SaveFile(QWidget* owner, const QString& title, const QString& suffix, const QString& filter)
{
    QFileDialog dialog(owner, title);
    dialog.setObjectName("SaveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    dialog.setNameFilter(filter);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQt(dialog.selectedFiles().front());
}

} // namespace

std::optional<OpenDialogResult> QtDialogs::SelectLog()
{
    QStringList filters;
    for (const Format& format : Formats())
        filters << QString::fromLatin1(format.Filter.data(), static_cast<qsizetype>(format.Filter.size()));

    QFileDialog dialog(owner_, "Select file...");
    dialog.setObjectName("SelectLog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    OpenDialogResult result;
    result.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.FilterIndex < 1)
        result.FilterIndex = 1;
    for (const QString& file : dialog.selectedFiles())
        result.Files.push_back(FromQt(file));
    return result;
}

std::optional<std::string> QtDialogs::SaveLST()
{
    return SaveFile(owner_, "Select file...", "lst", "Project list files (*.lst)");
}

std::optional<std::string> QtDialogs::SaveRes()
{
    return SaveFile(owner_, "Select target...", "txt", "Text files (*.txt)");
}

std::optional<std::string> QtDialogs::SelectDirectory(const std::string& start)
{
    const auto chosen = DirectoryChooser::Choose(ToQt(start), owner_);
    if (!chosen)
        return std::nullopt;
    return FromQt(*chosen);
}

void QtDialogs::InformationBox(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::Information, ToQt(caption), ToQt(text), QMessageBox::Ok, owner_);
    box.exec();
}

void QtDialogs::ErrorBox(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToQt(text), QMessageBox::Ok, owner_);
    box.exec();
}

} // namespace packsmith::qt
