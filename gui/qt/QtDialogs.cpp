#include "gui/qt/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <vector>

#include "gui/qt/AboutBox.h"
#include "gui/qt/DirectoryChooser.h"
#include "gui/qt/QtText.h"
#include "gui/qt/WindowSettings.h"
#include "jobs/FormatTable.h"

namespace packsmith::qt {

namespace {

// A file type the save dialog offers, and the extension a name typed without one gets.
struct SaveType {
    QString Filter;
    QString Suffix;
};

// The save dialog. A name typed without an extension takes the one of the filter chosen when
// the user confirms, so that the file is written as the filter shown promised.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(QWidget* owner, const QString& title, std::vector<SaveType> types)
        : QFileDialog(owner, title), types_(std::move(types))
    {
    }

    void accept() override
    {
        for (const SaveType& type : types_)
            if (type.Filter == selectedNameFilter())
                setDefaultSuffix(type.Suffix);
        QFileDialog::accept();
    }

private:
    std::vector<SaveType> types_;
};

std::optional<std::string> SaveFile(QWidget* owner, const QString& title, const std::vector<SaveType>& types,
                                    const SaveType& initial)
{
    SaveDialog dialog(owner, title, types);
    dialog.setObjectName("SaveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const SaveType& type : types)
        filters << type.Filter;
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(initial.Filter);
    dialog.setDefaultSuffix(initial.Suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQt(dialog.selectedFiles().front());
}

// A message box is only as wide as its text and buttons, and a window manager elides the
// caption of a narrower title bar ("Proce... tatus:"). This widens the box to hold the
// caption in the title bar's font (taken bold, as title bars draw the active window), with
// room for the window's icon and up to four title bar buttons, each about a square as tall
// as the bar, and a margin of two characters at each end of the caption.
void FitCaption(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int barHeight = metrics.height() + 8;
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 5 * barHeight + 4 * metrics.averageCharWidth();
    // A spacer the width of the whole box, less the layout's margins, in a row of its own;
    // being empty, the row adds no height. The box keeps its layout's minimum width
    // whenever it lays itself out again.
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(width - margins.left() - margins.right(), 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
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
    // It opens where files were added from last, in this session or an earlier one.
    if (const QString folder = WindowSettings::AddFolder(); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    WindowSettings::SetAddFolder(dialog.directory().absolutePath());

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
    const SaveType lists{"Project list files (*.lst)", "lst"};
    return SaveFile(owner_, "Select file...", {lists}, lists);
}

std::optional<std::string> QtDialogs::SaveRes()
{
    // Text stays the first choice: a name typed without an extension is saved as before.
    const SaveType rich{"Rich text files (*.rtf)", "rtf"};
    const SaveType text{"Text files (*.txt)", "txt"};
    return SaveFile(owner_, "Select target...", {rich, text}, text);
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
    FitCaption(box);
    box.exec();
}

void QtDialogs::ErrorBox(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToQt(text), QMessageBox::Ok, owner_);
    FitCaption(box);
    box.exec();
}

std::optional<std::size_t> QtDialogs::ChooseOne(const std::string& text, const std::string& caption,
                                                const std::vector<std::string>& choices, std::size_t preferred)
{
    QMessageBox box(QMessageBox::Question, ToQt(caption), ToQt(text), QMessageBox::Cancel, owner_);
    box.setObjectName("ChooseOne");
    std::vector<QAbstractButton*> buttons;
    for (const std::string& choice : choices)
        buttons.push_back(box.addButton(ToQt(choice), QMessageBox::AcceptRole));
    if (preferred < buttons.size())
        box.setDefaultButton(static_cast<QPushButton*>(buttons[preferred]));
    FitCaption(box);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return i;
    return std::nullopt;
}

void QtDialogs::AboutBox() { ShowAboutBox(owner_); }

} // namespace packsmith::qt
